/*
 * ConfigFileExists and ReadConfigFileValue: a plain line scanner, no state
 * between calls, so any thread may read the file at any time.
 */
#include "core/config_reader.h"

#include <stdio.h>
#include <string.h>

namespace {

/* One piece of a line: 511 characters and the terminator. */
constexpr int kPieceSize = 512;

/* Copies `text` into value when it fits *size (result 0); otherwise stores
 * the size it needs and refuses (90). */
int deliver_value(const char *text, char *value, int *size) {
    size_t length = strlen(text);
    if (*size <= 0 || length >= static_cast<size_t>(*size)) {
        *size = length + 1 > static_cast<size_t>(0x7fffffff) ? 0x7fffffff
                                                             : static_cast<int>(length + 1);
        return HXM_CONFIG_TOO_LONG;
    }
    memcpy(value, text, length + 1);
    return HXM_CONFIG_OK;
}

} // namespace

int ConfigFileExists(const char *path, int *present) {
    if (present != nullptr)
        *present = 0;
    if (path == nullptr)
        return HXM_CONFIG_CANNOT_OPEN;
    FILE *file = fopen(path, "r+");
    if (file == nullptr)
        return HXM_CONFIG_CANNOT_OPEN;
    if (present != nullptr)
        *present = 1;
    fclose(file);
    return HXM_CONFIG_OK;
}

int ReadConfigFileValue(const char *path, const char *key, char *value, int *size,
                        const char *defaultValue) {
    if (key == nullptr || path == nullptr || value == nullptr || size == nullptr)
        return HXM_CONFIG_BAD_ARGUMENT;
    FILE *file = fopen(path, "a+");
    if (file == nullptr)
        return HXM_CONFIG_CANNOT_OPEN;
    rewind(file); // "a+" reads from the start once positioned there

    char piece[kPieceSize];
    char word[kPieceSize];
    char valueWord[kPieceSize];
    while (fgets(piece, sizeof piece, file) != nullptr) {
        if (sscanf(piece, "%511s %511s", word, valueWord) != 2)
            continue;
        if (word[0] == '#' || word[0] == ';' || strcmp(word, key) != 0)
            continue;
        fclose(file);
        return deliver_value(valueWord, value, size);
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed)
        return HXM_CONFIG_READ_ERROR;
    if (defaultValue == nullptr)
        return HXM_CONFIG_NOT_FOUND;
    // The default is held to the same bound as a value from the file.
    return deliver_value(defaultValue, value, size);
}
