/* Window, dialog and control style values for the resource scripts, which
 * are compiled without the Windows SDK headers. Values as in winuser.h. */
#ifndef ORNLANG_RC_H
#define ORNLANG_RC_H

#include "OrnLangIds.h"

#define IDOK 1

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_GERMAN 0x07
#define SUBLANG_DEFAULT 0x01

#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L

#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_FIXEDSYS 0x08L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)
#define DS_CENTER 0x0800L

#define ES_MULTILINE 0x0004L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L

#define BS_GROUPBOX 0x0007L

#define SS_ICON 0x0003L

/* Message box types of the text tables' records. */
#define MB_OK 0x00L
#define MB_ICONERROR 0x10L
#define MB_ICONWARNING 0x30L

#endif
