/*
 * Shared pieces of the monitoring library's tests: a private store in a
 * temporary folder (named to the library through AFPSTAT_DB), a way to run
 * the afpstat command, and RAII holders for the library's lists.
 */
#ifndef HXM_TESTS_PLATFORM_AFPSTAT_TEST_SUPPORT_H
#define HXM_TESTS_PLATFORM_AFPSTAT_TEST_SUPPORT_H

#include "platform/afpstat/store_writer.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <zentra/afpstat.h>

namespace hxm_test {

/* A fresh temporary folder for each test, removed afterwards, with
 * AFPSTAT_DB naming a store inside it (not yet created) and ZENTRA_ROOT
 * unset. */
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const std::string &folder() const { return folder_->path(); }
    const std::string &store_path() const { return store_path_; }
    /* Creates the store (empty) and returns a writer for it. */
    afpstat::Store create_store() const { return afpstat::Store::create(store_path_); }
    /* Runs one SQL text against the store directly; fails the test on error. */
    void exec_sql(const std::string &sql) const;

  private:
    std::unique_ptr<TempRoot> folder_;
    std::string store_path_;
};

struct CommandResult {
    int exitCode = -1; /* -1 when it did not exit normally */
    std::string out;
    std::string err;
};

/* Runs the afpstat command with args, the current environment plus
 * extra ("NAME=value" entries), and waits for it. */
CommandResult run_afpstat(const std::vector<std::string> &args,
                          const std::vector<std::string> &extra_environment = {});

/* The first `count` texts of `items`, copied. */
std::vector<std::string> texts_of(char **items, int count);

/* The afpstat command's path. */
const char *afpstat_command();

/* A connection whose fields all follow from its number, so a reader can
 * check a listed record without knowing what else happened. */
afpstat::ConnectionRecord numbered_connection(uint32_t number);

/* Owners of the library's lists: freed through the library at scope end. */
struct ConnList {
    ConnListNode *head = nullptr;
    int count = 0;
    ~ConnList() { FreeConnListNodes(&head); }
};
struct UserDetails {
    UserInfo_s *info = nullptr;
    ~UserDetails() { FreeUserDetailsNode(&info); }
};
struct VolumeList {
    VolsDetailsNode *head = nullptr;
    int count = 0;
    ~VolumeList() { FreeVolsDetailsNode(&head); }
};
struct VolFileList {
    VolFileListNode *head = nullptr;
    int count = 0;
    ~VolFileList() { FreeVolFileListNodes(&head); }
};

/* A packed record's field as a plain value: the test macros take their
 * arguments by reference, which a packed field cannot give. */
template <typename T> T by_value(T value) {
    return value;
}

/* A fixed-size field as the bytes up to its first NUL or its end. */
std::string field_text(const char *field, size_t size);

} // namespace hxm_test

#endif
