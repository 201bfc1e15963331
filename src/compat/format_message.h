// Insert formatting of error texts: the system message formatter's
// behaviour for a message given as a string with an array of text arguments,
// without a line-width limit.
//
//   %1 .. %99      the text of argument 1 .. 99 (at most two digits: "%100"
//                  is argument 10 followed by "0")
//   %1!fmt!        the same with a printf string conversion: flags, width,
//                  precision, conversion s (see FormatInserts)
//   %0             ends the message here, no line break added
//   %n  %r  %t     CR LF, CR, TAB
//   %<other>       that character ("%%" gives "%", "%." gives ".")
//   LF, CR         a bare LF or CR becomes CR LF; CR LF stays
//
// Argument texts are copied as they are (no line-break conversion inside).
//
// Thread safety: FormatInserts keeps no state and may run on any thread.
#ifndef ORNEH_COMPAT_FORMAT_MESSAGE_H
#define ORNEH_COMPAT_FORMAT_MESSAGE_H

#include <cstddef>

namespace orneh {
namespace compat {

// Failure codes of FormatInserts (the system's error numbers).
constexpr unsigned long kFormatNoMemory = 8;
constexpr unsigned long kFormatInvalidInsert = 87;
constexpr unsigned long kFormatEmptyResult = 235;

// Fills the inserts of text.
//
// args may be null (no argument array): a text without inserts formats, a
// text with an insert fails. argCount is the number of entries of args; an
// insert beyond it fails the formatting and never reads past the array. A
// null argument inserts nullArgument ("(null)" when nullArgument is null
// too).
//
// A !fmt! conversion accepts the flags "-0 +#", a width, a precision, an
// optional "h" and the conversion "s", followed by literal text up to the
// closing "!". Everything that would read a text argument as something else
// fails: numeric and character conversions, wide strings ("S", "ls", "ws"),
// "*" widths and precisions, a missing closing "!", and widths or
// precisions above kFormatMaxWidth.
//
// Returns a new text from the allocation seam (release with Free or
// OrnEhDeleteString), or null with *error set to one of the codes above.
// error may be null.
char* FormatInserts(const char* text, const char* const* args, std::size_t argCount,
                    const char* nullArgument, unsigned long* error) noexcept;

// The largest width or precision that a !fmt! conversion may ask for.
constexpr std::size_t kFormatMaxWidth = 65535;

}  // namespace compat
}  // namespace orneh

#endif
