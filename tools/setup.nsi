; The setup program of Fizzy Pimbo's Parade, made by tools/package.sh:
;
;   makensis -DVERSION=1.2.3 -DSTAGE=DIR -DSOURCE=REPO -DOUTFILE=FILE [-DAMD64] tools/setup.nsi
;
; STAGE is the unpacked release package (Pimbo95.scr, x86/Pimbo95.scr,
; toons/, README.txt). The shipped setup is a 32-bit ANSI program, so that
; it runs on every Windows from 98 on; AMD64 makes the same setup as a
; 64-bit program, which is what the tests can run.

!ifdef AMD64
  Unicode true
  Target amd64-unicode
  ; ${RunningX64} is known when this one is built: its other branch goes unused.
  !pragma warning disable 6012
!else
  Unicode false
  Target x86-ansi
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Fizzy Pimbo's Parade"
!define PUBLISHER "Fizzy Pimbo"
!define SAVER "Pimbo95.scr"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pimbo95"
!define DESKTOP_KEY "Control Panel\Desktop"
!define INI_SECTION "Fizzy Pimbo Screen Saver"
!define TOON_FOLDER "Pimbo Toons"
!define SHIPPED_FOLDER "Toons"
!define SAVER_PENDING "Pimbo95.new"
!define ERROR_ELEVATION_REQUIRED 740
!define ERROR_SUCCESS_REBOOT_REQUIRED 3010
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_SENDCHANGE 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Fizzy Pimbo"
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

; The program itself names no copyright holder either.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "Pimbo95-${VERSION}-setup.exe"

!define MUI_ICON "${SOURCE}/resources/pimbo.ico"
!define MUI_UNICON "${SOURCE}/resources/pimbo.ico"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. It is listed in the Screen Saver Settings. Each user finds its toons in the folder $\"${TOON_FOLDER}$\" of his Documents once he has first used it."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the Screen Saver Settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been removed from this computer.$\r$\n$\r$\nYour toons in the folder $\"${TOON_FOLDER}$\" of your Documents and your settings (Pimbo95.ini) have been kept: delete them yourself if you no longer want them."
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Both programs need administrator rights: the saver goes into the system
; directory and the uninstall entry into the machine's registry.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} can only be installed or removed by an administrator." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
!macroend

; On 64-bit Windows the 64-bit saver, the registry's own view and the real
; system directory, not the folders a 32-bit program is redirected to.
!macro UseNativeView
  ${If} ${RunningX64}
    SetRegView 64
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdministrator
  ; A folder given with /D= stays as given.
  ${If} ${RunningX64}
  ${AndIf} $INSTDIR == "$PROGRAMFILES\Fizzy Pimbo"
    StrCpy $INSTDIR "$PROGRAMFILES64\Fizzy Pimbo"
  ${EndIf}
FunctionEnd

; The saver or its preview running holds the old file. Interactively the
; user is told what to close; otherwise, or if he would rather not, the new
; file waits beside the old one and replaces it at the next restart.
Function SaverInUse
  retry:
  StrCpy $0 0
  ${IfNot} ${FileExists} "$SYSDIR\${SAVER}"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $1 "$SYSDIR\${SAVER}" a
  ${IfNot} ${Errors}
    FileClose $1
    Return
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running: end the screen saver, and close the Screen Saver Settings, whose preview shows it, then choose Retry.$\r$\n$\r$\nCancel replaces it when Windows next starts." /SD IDCANCEL IDRETRY retry
  StrCpy $0 1
FunctionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro RequireAdministrator
FunctionEnd

Section "${PRODUCT} (required)" SectionSaver
  SectionIn RO
  !insertmacro UseNativeView
  SetOutPath "$SYSDIR"
  Delete "$SYSDIR\${SAVER_PENDING}"
  Call SaverInUse
  StrCpy $1 "${SAVER}"
  ${If} $0 == 1
    StrCpy $1 "${SAVER_PENDING}"
  ${EndIf}
  ClearErrors
  ${If} ${RunningX64}
    File "/oname=$1" "${STAGE}/Pimbo95.scr"
  ${Else}
    File "/oname=$1" "${STAGE}/x86/Pimbo95.scr"
  ${EndIf}
  ${If} $0 == 1
    Rename /REBOOTOK "$SYSDIR\${SAVER_PENDING}" "$SYSDIR\${SAVER}"
  ${EndIf}
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "The screen saver could not be written to $SYSDIR." /SD IDOK
    Abort
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; Every user's first use copies these into his own Documents.
  SetOutPath "$INSTDIR\${SHIPPED_FOLDER}"
  File "${STAGE}/toons/*.ptf"
  File "${STAGE}/toons/*.wav"
  ; What older setups wrote: the installing account's folder, in the file
  ; every user reads.
  ReadINIStr $0 "$WINDIR\Pimbo95.ini" "${INI_SECTION}" "Directory"
  ${If} $0 == "$DOCUMENTS\${TOON_FOLDER}\"
    DeleteINIStr "$WINDIR\Pimbo95.ini" "${INI_SECTION}" "Directory"
  ${EndIf}

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$SYSDIR" "/M=${SAVER} /S=0K /G=0" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\${SAVER},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only the account that runs the setup: another user's choice is his.
Section "Make it the current screen saver" SectionCurrent
  ${If} ${IsNT}
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SAVER}"
  ${Else}
    ; Windows 9x keeps the current saver in system.ini, by its short name.
    GetFullPathName /SHORT $0 "$SYSDIR\${SAVER}"
    WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" "$0"
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  System::Call "user32::SystemParametersInfo(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_SENDCHANGE})"
SectionEnd

Function OpenScreenSaverSettings
  ${If} ${AtLeastWinVista}
    Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
  ${Else}
    Exec '"$SYSDIR\control.exe" desk.cpl,,1'
  ${EndIf}
FunctionEnd

; Whether $0, a saver's path as the system keeps it, names ours.
!macro IsOurSaver result
  StrCpy ${result} 0
  StrCpy $1 "$0" "" -11
  StrCpy $2 "$0" 1 -12
  ${If} $1 == "${SAVER}"
  ${AndIf} $2 == "\"
    StrCpy ${result} 1
  ${EndIf}
!macroend

Section "Uninstall"
  !insertmacro UseNativeView
  ; No longer the current saver: as if the user had chosen none.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  !insertmacro IsOurSaver $3
  ${If} $3 == 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}
  ${IfNot} ${IsNT}
    ReadINIStr $0 "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    !insertmacro IsOurSaver $3
    ${If} $3 == 1
      DeleteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}

  Delete /REBOOTOK "$SYSDIR\${SAVER}"
  Delete "$SYSDIR\${SAVER_PENDING}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${SHIPPED_FOLDER}\*.ptf"
  Delete "$INSTDIR\${SHIPPED_FOLDER}\*.wav"
  RMDir "$INSTDIR\${SHIPPED_FOLDER}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
