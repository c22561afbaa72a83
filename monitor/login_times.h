/*
 * Login-time texts remembered between pages. The connection list shows each
 * connection's login time as the "%c" text of its local time, and a list of
 * a thousand connections formats the same thousand times on every refresh;
 * each worker thread keeps the texts it made, valid for as long as the time
 * zone setting and the time locale stay the same.
 */
#ifndef HXM_MONITOR_LOGIN_TIMES_H
#define HXM_MONITOR_LOGIN_TIMES_H

#include <stddef.h>

namespace hxm2afp {

struct LoginTimeMemory;

/* One list's use of this thread's memory: made once per list, it checks the
 * time zone setting and the time locale once and forgets every text when
 * either changed. A list too long for the memory formats every text: it
 * would only push texts out before they are asked for again. */
class LoginTimeTexts {
  public:
    explicit LoginTimeTexts(int listLength);
    LoginTimeTexts(const LoginTimeTexts &) = delete;
    LoginTimeTexts &operator=(const LoginTimeTexts &) = delete;

    /* Writes the text of `seconds` to out (HXM_LOGIN_TIME_TEXT_SIZE bytes)
     * exactly as convertToTimeString does and returns what it returns; a
     * remembered text is copied without formatting again. Failures are not
     * remembered. Fastest when the list asks for its times in the order the
     * thread's last list did. */
    int text(unsigned long long seconds, char *out);

  private:
    LoginTimeMemory *memory_; // null: remember nothing (no memory, or odd settings)
    size_t next_ = 0;         // how many texts this list has asked for
};

/* Releases every thread's memory; the unload entry calls it after the last
 * request. */
void release_login_times();

} // namespace hxm2afp

#endif
