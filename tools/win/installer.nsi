; The installer of the Windows program: a per-machine install under Program Files, a Start-menu
; shortcut for every user, and an uninstaller that takes away what was installed and nothing else.
; tools/win/make-installer.sh runs makensis with these defines:
;   VERSION   the program's version (1.0.0)
;   PAYLOAD   include file with the SetOutPath/File lines of the installed folder
;   UNPAYLOAD include file with the Delete/RMDir lines that undo them
;   ICON      the program's icon
;   OUTFILE   the installer to write
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Nimbara Workspace"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbaraWorkspace"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "English"

; The program writes logs\ under its working directory, and Program Files is not writable: the
; shortcut starts it in a folder under ProgramData that every user of the machine may write.
!macro WORK_DIR out
    SetShellVarContext all
    StrCpy ${out} "$APPDATA\${PRODUCT}"
!macroend

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Install"
    SetShellVarContext all
    !include "${PAYLOAD}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    !insertmacro WORK_DIR $0
    CreateDirectory "$0"
    ; Users (S-1-5-32-545) may create and change files there, whatever the system's language.
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$0" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $1

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    SetOutPath "$0"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\TAVO_DSK.exe" "" "$INSTDIR\TAVO_DSK.exe" 0
    SetOutPath "$INSTDIR"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TAVO_DSK.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    ; The files it installed, one by one: a folder chosen by the user may hold others. The work
    ; folder with the users' logs stays.
    !include "${UNPAYLOAD}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
