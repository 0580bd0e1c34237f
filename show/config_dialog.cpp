#include "show/config_dialog.h"

// The dialog's controls come with its template.
INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}
