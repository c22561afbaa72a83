/*
 * Who asks for an action: the console user behind the request being served
 * (through the host's HttpReturnRequestUser, where the host has it), or the
 * Unix user running the command.
 *
 * The host call is looked up once, when the plug-in loads; a host without it
 * serves the pages as before and the actions are recorded without a name.
 */
#ifndef HXM_HISTORY_ACTING_USER_H
#define HXM_HISTORY_ACTING_USER_H

#include <string>

namespace hxm2afp::history {

/* Looks the host's user call up (the load entry calls it). */
void find_host_user_call();

/* The user of the request this thread serves, for as long as it lives:
 * actions noted on the thread meanwhile name it. */
class RequestActor {
  public:
    RequestActor() = default;
    ~RequestActor();
    RequestActor(const RequestActor &) = delete;
    RequestActor &operator=(const RequestActor &) = delete;

    /* Asks the host for `request`'s user and makes it this thread's. */
    void take(void *request);

  private:
    char name_[256] = "";
    bool taken_ = false;
};

/* The name of the user acting on this thread: the request's user while a
 * RequestActor holds one, else "" (a host without the call, or no login). */
const char *request_actor();

/* The name of the Unix user running this process (its real user id), or
 * the number when it has no name. */
std::string unix_user();

} // namespace hxm2afp::history

#endif
