// dll: olddlg32.dll
// Stands in for the common file dialogs of Windows 98 SE, Me and NT 4,
// which know the record only at its first size: any other lStructSize
// fails with CDERR_STRUCTSIZE before a dialog shows. A record they take is
// answered at once with the name in PIMBO_DIALOG_ANSWER, or cancelled when
// there is none.
#include <windows.h>
// Defined here, under the system's names, rather than imported.
#define WINCOMMDLGAPI __declspec(dllexport)
#include <commdlg.h>
#include <cderr.h>

static DWORD lastError;

static BOOL AnswerFileDialog(OPENFILENAMEA *dialog)
{
    lastError = 0;
    if (!dialog || dialog->lStructSize != OPENFILENAME_SIZE_VERSION_400A) {
        lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    char answer[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PIMBO_DIALOG_ANSWER", answer, sizeof answer);
    if (length == 0 || length >= sizeof answer)
        return FALSE;
    if (!dialog->lpstrFile || length >= dialog->nMaxFile) {
        lastError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    lstrcpynA(dialog->lpstrFile, answer, (int)dialog->nMaxFile);
    return TRUE;
}

BOOL WINAPI GetOpenFileNameA(OPENFILENAMEA *dialog)
{
    return AnswerFileDialog(dialog);
}

BOOL WINAPI GetSaveFileNameA(OPENFILENAMEA *dialog)
{
    return AnswerFileDialog(dialog);
}

DWORD WINAPI CommDlgExtendedError(void)
{
    return lastError;
}
