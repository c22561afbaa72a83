/*
 * Text made safe for a terminal: what the console writes on its standard
 * error may carry names chosen by others (paths, user names, request
 * targets), and a terminal acts on some characters instead of showing them.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_TERMINAL_TEXT_H
#define HXM_PLATFORM_CONSOLE_SERVER_TERMINAL_TEXT_H

#include <string>

namespace hxm_server {

// `text` with every character a terminal could act on shown escaped: C0
// controls and DEL as \xHH (line feed and tab kept when `keepLineBreaks`),
// C1 controls and the bidirectional embeddings, overrides, isolates and
// marks as \uHHHH, and each byte that is not part of valid UTF-8 (overlong,
// surrogate, beyond U+10FFFF, cut short) as \xHH. Everything else, UTF-8
// in any script included, comes out as it went in.
std::string TerminalSafe(const std::string &text, bool keepLineBreaks);

// The length of the start of `text` that ends on a character boundary:
// all of it but an incomplete UTF-8 sequence at its very end, which a
// reader of a stream keeps for the bytes that follow.
size_t CompleteCharacters(const std::string &text);

} // namespace hxm_server

#endif
