/* Resource numbers of the language modules ZKQTRNLANG101.<lang>.res: the
 * error dialog's template and controls, its strings, and the text and
 * caption tables of runtime-library errors and structured exceptions.
 * Plain #defines only: the resource scripts include this file as well. */
#ifndef ORNLANG_IDS_H
#define ORNLANG_IDS_H

/* The error dialog. */
#define IDD_EH_DIALOG 2101

/* Its controls (the first answer button is IDOK, 1). */
#define IDC_EH_BUTTON2 1000
#define IDC_EH_BUTTON3 1001
#define IDC_EH_SAVE 1702
#define IDC_EH_DETAILS_FRAME 1703
#define IDC_EH_MESSAGE 1704
#define IDC_EH_DETAILS_TOGGLE 1705
#define IDC_EH_DETAILS 1706
#define IDC_EH_PRINT 1707
#define IDC_EH_HANDOVER 1708
#define IDC_EH_COMMENT 1709
#define IDC_EH_ICON 1710          /* where the message type's icon is shown */

/* Strings. */
#define IDS_EH_MEMORY_TEXT 2110         /* text of out-of-memory errors */
#define IDS_EH_DEFAULT_TEXT 2111        /* default error text of a report */
#define IDS_EH_DEFAULT_CAPTION 2112     /* default caption of a report */
#define IDS_EH_COM_CAPTION 2113         /* caption of COM errors */
#define IDS_EH_DETAILS_HIDE 2114        /* details button while the details are shown */
#define IDS_EH_DETAILS_SHOW 2115        /* details button while they are hidden */
#define IDS_EH_COMMENT_HEADING 2116     /* report text: line breaks and heading before the comment */
#define IDS_EH_DETAILS_HEADING 2117     /* report text: line breaks and heading before the details */
#define IDS_EH_CANCEL 2118              /* answer button for Cancel and Abort */
#define IDS_EH_RETRY 2119
#define IDS_EH_IGNORE 2120
#define IDS_EH_YES 2121
#define IDS_EH_NO 2122
#define IDS_EH_SAVE_TITLE 2123          /* title of the save dialog */
#define IDS_EH_PRINT_DOCUMENT 2124      /* document name of the print job */
#define IDS_EH_SAVE_FAILED 2125
#define IDS_EH_PRINT_FAILED 2126
#define IDS_EH_FILTER_TEXT 2127         /* filter name for text files */
#define IDS_EH_FILTER_ALL 2128          /* filter name for all files */
#define IDS_EH_DEFAULT_EXTENSION 2129
#define IDS_EH_DEFAULT_FILE_NAME 2130
#define IDS_EH_STL_CAPTION 2131         /* caption of standard-library errors */
#define IDS_EH_WIN32_CAPTION 2132       /* caption of system errors */
#define IDS_EH_MEMORY_CAPTION 2133      /* caption of out-of-memory errors */
#define IDS_EH_HANDOVER_REFUSED 2134
#define IDS_EH_SAVE_FAILED_CAPTION 2135
#define IDS_EH_PRINT_FAILED_CAPTION 2136
#define IDS_EH_HANDOVER_REFUSED_CAPTION 2137
#define IDS_EH_OVERWRITE_QUESTION 2138  /* terminal save prompt, under the file's path */
#define IDS_EH_ABORT 2139               /* the Abort button where a language has a word of its own (else 2118) */
#define IDS_EH_NO_PRINTER 2140          /* print: no printer is set up */
#define IDS_EH_PRINTED 2141             /* print: sent to the destination %1 */

#define IDS_EH_FIRST 2110
#define IDS_EH_LAST 2141

/* Raw-data tables (RT_RCDATA). */
#define IDR_EH_CLIB_TEXTS 381
#define IDR_EH_CLIB_CAPTIONS 382
#define IDR_EH_SEH_TEXTS 383
#define IDR_EH_SEH_CAPTIONS 384

/* Text numbers of table 381: 1 is the general text every runtime-library
 * error shows by default; 1000 + an errno value is the text for that error,
 * for applications that set it as the exception's error-text number.
 * Table 383 keys its further texts by the exception code itself. */
#define ORNLANG_CLIB_TEXT_GENERAL 1
#define ORNLANG_CLIB_TEXT_ERRNO_BASE 1000
#define ORNLANG_SEH_TEXT_GENERAL 1

/* System texts in the user's language: the messages of common COM results
 * (RCDATA: HRESULT as 32 bits, NUL-terminated text, repeated to the end of
 * the entry) and the texts of the MFC layer's exceptions. */
#define IDR_EH_COM_MESSAGES 385
#define IDS_EH_MFC_UNSUPPORTED 2180     /* CException without a text of its own */
#define IDS_EH_MFC_MEMORY 2181          /* CMemoryException */
#define IDS_EH_MFC_FILE_FIRST 2182      /* CFileException, + its cause (0 to 14) */
#define IDS_EH_MFC_FILE_LAST 2196

#endif
