// Resource modules: compiled resource files (.res, as windres writes them) and
// resource-only PE DLLs, loaded as data files. An entry is found by type and
// integer id; strings come from RT_STRING bundles converted to code page 1252;
// dialog templates are parsed into a plain description.
//
// Every module is read whole into memory at load; entries point into that copy
// and stay valid until the module is freed. A truncated or malformed file is
// rejected at load or yields "not found" later; nothing is ever read outside
// the loaded bytes.
//
// Each thread has a current resource module, from which CString::LoadString
// and dialog creation take their resources (OrnLanguageResManager sets it).
//
// Thread safety: a loaded module is immutable and may be read from any
// thread; the current module is per thread.
#ifndef ORNLANG_RESOURCE_H
#define ORNLANG_RESOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "OrnLangExport.h"
#include "compat/OrnEhWinTypes.h"

enum : unsigned int {
    ORN_RT_DIALOG = 5,
    ORN_RT_STRING = 6,
    ORN_RT_RCDATA = 10
};

// Loads a module as a data file; null on failure (errno tells why: ENOENT,
// EACCES, ... or EINVAL for a file that is not a resource module).
ORNLANG_API HINSTANCE OrnResLoadModule(const char* path);

// Loads a module from size bytes at data (copied; data may go afterwards).
// name is what OrnResModulePath reports (null: ""). Null on failure, with
// errno EINVAL for bytes that are not a resource module, ENOMEM.
ORNLANG_API HINSTANCE OrnResLoadModuleFromMemory(const void* data, std::size_t size, const char* name);

// Releases a module; null is ignored.
ORNLANG_API void OrnResFreeModule(HINSTANCE module);

// The path the module was loaded from (valid while the module is loaded).
ORNLANG_API const char* OrnResModulePath(HINSTANCE module);

// The data of the entry (type, id), and its size; null if absent.
ORNLANG_API const void* OrnResFind(HINSTANCE module, unsigned int type, unsigned int id,
                                   std::size_t* size);

// Like OrnResFind with a resource name: "#123" stands for the integer id 123,
// any other name is compared, ignoring ASCII case, with named entries.
ORNLANG_API const void* OrnResFindNamed(HINSTANCE module, const char* name, unsigned int type,
                                        std::size_t* size);

// String resource id in code page 1252 (characters outside it become '?').
// Copies at most size - 1 bytes and a terminator into buffer when size > 0.
// Returns the full length of the string, or -1 when it does not exist.
ORNLANG_API long OrnResLoadString(HINSTANCE module, unsigned int id, char* buffer,
                                  std::size_t size);

// The calling thread's current resource module (null at first).
ORNLANG_API HINSTANCE OrnResGetThreadModule();
// Sets it and returns the previous one.
ORNLANG_API HINSTANCE OrnResSetThreadModule(HINSTANCE module);

// A dialog template (DLGTEMPLATE or DLGTEMPLATEEX), texts in code page 1252.
struct OrnResDialogItem {
    std::string className;  // "BUTTON", "EDIT", "STATIC", ... or a custom class name
    std::string text;       // empty when the template gives an ordinal
    std::uint32_t id = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

struct OrnResDialog {
    bool extended = false;  // DLGTEMPLATEEX
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string title;
    std::string fontName;  // empty without DS_SETFONT
    std::uint16_t fontSize = 0;
    std::vector<OrnResDialogItem> items;
};

// Parses dialog template id; false when it is absent or malformed.
ORNLANG_API bool OrnResLoadDialog(HINSTANCE module, unsigned int id, OrnResDialog& out);

// When p points into an entry of a loaded module: true, and *remaining gets
// the number of bytes from p to the end of that entry. Lets a reader that was
// handed only an entry's address stay inside it.
ORNLANG_API bool OrnResEntryExtent(const void* p, std::size_t* remaining);

// The Unicode character of a code page 1252 byte.
ORNLANG_API unsigned int OrnCp1252ToUnicode(unsigned char byte);

#endif
