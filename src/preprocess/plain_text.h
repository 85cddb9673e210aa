// Which bytes of a line the preprocessor's passes act on, found in one scan, so that a
// line that no pass would change can skip the passes.
//
// A line holding none of a pass's bytes leaves that pass unchanged: comment
// stripping acts only on ";", "/" and "\", macro expansion only on "$", "?"
// and "\", brace expansion only on "{", "}" and "\".  Multibyte characters
// are copied whole by every pass, so their bytes never change a line either;
// a pass byte hidden inside one only costs the full pass.
//
// Every function reads exactly the bytes of its text, no further.
#pragma once

#include <cstddef>
#include <string_view>

namespace tallow {

// The index of the first byte of `line` that a pass, or the reading of a
// line, acts on: NUL (it ends a line's text), ";", "/", "$", "?", "\", "{"
// and "}".  `line.size()` when there is none: then no pass changes the line,
// whatever multibyte characters it holds.
size_t firstSpecialByte(std::string_view line);

// The index of the first "$", "?", "\" or byte of 0x80 and above in `text`,
// or `text.size()`: the end of a run that macro expansion copies as it is.
size_t firstReferenceByte(std::string_view text);
// The same for "{", "}", "\" and bytes of 0x80 and above: the end of a run
// that brace expansion copies as it is.
size_t firstBraceByte(std::string_view text);

// True when comment stripping may change `text` (it holds ";", "/" or "\").
bool mayHoldComment(std::string_view text);
// True when macro expansion may change `text` (it holds "$", "?" or "\").
bool mayHoldReference(std::string_view text);
// True when brace expansion may change or refuse `text` (it holds "{", "}"
// or "\").
bool mayHoldBrace(std::string_view text);

}  // namespace tallow
