; The installer of the Windows program: a per-machine install under Program Files, a Start-menu
; shortcut for every user, and an uninstaller that takes away what was installed and nothing else.
; tools/win/make-installer.sh runs makensis with these defines:
;   VERSION   the program's version (1.0.0)
;   PAYLOAD   include file with the SetOutPath/File lines of the installed folder, the list of
;             installed files (MANIFEST) among them
;   UNPAYLOAD include file with the Delete/RMDir lines that undo them
;   ICON      the program's icon
;   OUTFILE   the installer to write
;   SIGN      the command that signs a file in place (given the file's path)
;   UNINSTALLER_KEEP    (first of two passes) keep the signed uninstaller here, and it unsigned
;                       beside it (.unsigned), for the bill of materials
;   UNINSTALLER_REUSE   (second pass) take that signed uninstaller, after checking that this
;                       pass made the same one
;   COMPANY, COPYRIGHT, SUPPORT_URL   who publishes it, for the version resource and Apps & features
;
; Exit status, for scripts that run it with /S: 0 done, 1 cancelled, 2 aborted by an error,
; 3 the program is running from the folder (nothing changed), 4 a newer version is installed
; (nothing changed). The uninstaller gives 3 too, when started with _?=<folder>: without it, it
; copies itself to the temporary folder and the first process ends at once with 0.
Unicode true
; A 64-bit installer: 32-bit Windows does not start it at all, so it needs no check of its own,
; and no plug-in (x64.nsh asks through the System plug-in), which would be one more file unpacked
; to the temporary folder and run unsigned.
Target amd64-unicode
SetCompressor /SOLID lzma
; The installed files get the time they are installed, not the builder's: the same payload gives the
; same installer.
SetDateSave off
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include WordFunc.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include StrFunc.nsh

; X.Y.Z, for Apps & features' VersionMajor and VersionMinor.
!searchparse "${VERSION}" "" VERSION_MAJOR "." VERSION_MINOR "."

!define PRODUCT "Nimbara Workspace"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbaraWorkspace"
!define PROGRAM "TAVO_DSK.exe"
; What this version put in the install folder, one path a line, folders after their files with a
; trailing backslash: the next installer removes them before it installs its own.
!define MANIFEST "installed-files.txt"
!define EXIT_RUNNING 3
!define EXIT_NEWER_INSTALLED 4

; The installer and the uninstaller it writes are signed like every file they carry. The
; uninstaller is signed when it is made, before it is packed into the installer.
!finalize '${SIGN} "%1"' = 0
!ifdef UNINSTALLER_KEEP
    !uninstfinalize 'cp "%1" "${UNINSTALLER_KEEP}.unsigned" && ${SIGN} "%1" && cp "%1" "${UNINSTALLER_KEEP}"' = 0
!else ifdef UNINSTALLER_REUSE
    !uninstfinalize 'cmp -s "%1" "${UNINSTALLER_REUSE}.unsigned" && cp "${UNINSTALLER_REUSE}" "%1"' = 0
!else
    !uninstfinalize '${SIGN} "%1"' = 0
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
; The third-party notices, shown before anything is installed; nothing to agree to.
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "$(NOTICES_BOTTOM)"
!insertmacro MUI_PAGE_LICENSE "${NOTICES}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "English"

; The installer's own version resource, in both languages, as on the program.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
!macro VERSION_KEYS lang description
    VIAddVersionKey /LANG=${lang} "CompanyName" "${COMPANY}"
    VIAddVersionKey /LANG=${lang} "FileDescription" "${description}"
    VIAddVersionKey /LANG=${lang} "FileVersion" "${VERSION}.0"
    VIAddVersionKey /LANG=${lang} "LegalCopyright" "${COPYRIGHT}"
    VIAddVersionKey /LANG=${lang} "ProductName" "${PRODUCT}"
    VIAddVersionKey /LANG=${lang} "ProductVersion" "${VERSION}"
!macroend
!insertmacro VERSION_KEYS ${LANG_KOREAN} "${PRODUCT} 설치 프로그램"
!insertmacro VERSION_KEYS ${LANG_ENGLISH} "${PRODUCT} Setup"

LangString NEWER_INSTALLED ${LANG_KOREAN} "이 컴퓨터에는 더 새로운 ${PRODUCT} $R1 버전이 설치되어 있습니다.$\r$\n$\r$\n이 설치 프로그램은 ${VERSION} 버전이므로 설치하지 않습니다. 이전 버전을 쓰려면 먼저 설치된 버전을 제거하십시오."
LangString NEWER_INSTALLED ${LANG_ENGLISH} "${PRODUCT} $R1 is installed on this computer, which is newer than this setup's version ${VERSION}.$\r$\n$\r$\nSetup will not replace it with an older version. To go back to this version, uninstall the installed one first."
LangString RUNNING ${LANG_KOREAN} "${PRODUCT}이(가) 실행 중입니다 ($R0\${PROGRAM}).$\r$\n$\r$\n프로그램을 닫은 뒤 [다시 시도]를 누르십시오. [취소]를 누르면 아무것도 바꾸지 않고 끝냅니다."
LangString RUNNING ${LANG_ENGLISH} "${PRODUCT} is running ($R0\${PROGRAM}).$\r$\n$\r$\nClose it, then choose Retry. Cancel ends setup without changing anything."
LangString UN_PROGRAM ${LANG_KOREAN} "프로그램"
LangString UN_PROGRAM ${LANG_ENGLISH} "Program"
LangString UN_LOGS ${LANG_KOREAN} "로그 파일도 삭제"
LangString UN_LOGS ${LANG_ENGLISH} "Delete the logs too"
LangString NOTICES_BOTTOM ${LANG_KOREAN} "이 프로그램에 들어 있는 제3자 구성 요소의 고지와 라이선스입니다. 설치 후에도 시작 메뉴에서 볼 수 있습니다."
LangString NOTICES_BOTTOM ${LANG_ENGLISH} "The notices and licences of the third-party parts this program includes. The Start menu shows them after setup too."

${StrLoc}

; The program writes logs\ under its working directory, and Program Files is not writable: the
; shortcut starts it in a folder under ProgramData that every user of the machine may write.
!macro WORK_DIR out
    SetShellVarContext all
    StrCpy ${out} "$APPDATA\${PRODUCT}"
!macroend

; One name in every language, so the uninstaller finds it whatever language it runs in.
!define NOTICES_LINK "제3자 구성 요소 고지 (Third-party notices).lnk"

; Returns when the program in folder $R0 is not running, or was closed when the user was asked;
; otherwise ends with EXIT_RUNNING before anything changed. Windows does not let a running
; program's file be opened for writing, so no plug-in and no change to the program is needed;
; this also sees a copy started from the folder by another user.
!macro CHECK_NOT_RUNNING un
Function ${un}checkNotRunning
    ${If} ${FileExists} "$R0\${PROGRAM}"
    retry:
        ClearErrors
        FileOpen $R2 "$R0\${PROGRAM}" a
        ${If} ${Errors}
            MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "$(RUNNING)" /SD IDCANCEL IDRETRY retry
            SetErrorLevel ${EXIT_RUNNING}
            Quit
        ${EndIf}
        FileClose $R2
    ${EndIf}
FunctionEnd
!macroend
!insertmacro CHECK_NOT_RUNNING ""
!insertmacro CHECK_NOT_RUNNING "un."

; Removes what the installed version's list names in folder $R0. Paths that could leave the
; folder are skipped: the list is only data left in a folder the user may have chosen.
Function removeListed
    ClearErrors
    FileOpen $R2 "$R0\${MANIFEST}" r
    ${If} ${Errors}
        Return
    ${EndIf}
    ${Do}
        ClearErrors
        FileRead $R2 $R3
        ${If} ${Errors}
            ${ExitDo}
        ${EndIf}
        ${TrimNewLines} "$R3" $R3
        ${StrLoc} $R4 "$R3" ".." ">"
        ${StrLoc} $R5 "$R3" ":" ">"
        StrCpy $R6 $R3 1
        ${If} $R3 == ""
        ${OrIf} $R4 != ""
        ${OrIf} $R5 != ""
        ${OrIf} $R6 == "\"
            ${Continue}
        ${EndIf}
        StrCpy $R6 $R3 1 -1
        ${If} $R6 == "\"
            RMDir "$R0\$R3"
        ${Else}
            Delete "$R0\$R3"
        ${EndIf}
    ${Loop}
    FileClose $R2
    Delete "$R0\${MANIFEST}"
FunctionEnd

Function .onInit
    SetRegView 64
    ; NSIS takes /D= only unquoted, but Wine and PowerShell quote an argument with a space in it:
    ; "/D=C:\My Apps" would be ignored and the default folder used without a word.
    ${GetParameters} $R0
    ${StrLoc} $R1 $R0 '"/D=' ">"
    ${If} $R1 != ""
        IntOp $R1 $R1 + 4
        StrCpy $R0 $R0 "" $R1
        ${StrLoc} $R1 $R0 '"' ">"
        ${If} $R1 != ""
            StrCpy $INSTDIR $R0 $R1
        ${EndIf}
    ${EndIf}
    ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $R1 != ""
        ${VersionCompare} "${VERSION}" "$R1" $R2
        ${If} $R2 == 2
            MessageBox MB_ICONSTOP|MB_OK "$(NEWER_INSTALLED)" /SD IDOK
            SetErrorLevel ${EXIT_NEWER_INSTALLED}
            Quit
        ${EndIf}
    ${EndIf}
    ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 != ""
        Call checkNotRunning
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    StrCpy $R0 $INSTDIR
    Call un.checkNotRunning
FunctionEnd

Section "Install" SEC_INSTALL
    SetShellVarContext all
    ; The folder may have been chosen after .onInit looked at the installed one.
    StrCpy $R0 $INSTDIR
    Call checkNotRunning

    ; An upgrade, a repair or a move: the installed version's files go first, so that none it
    ; had and this one has not stays behind. The users' work folder is not among them.
    ; A version without the list is overwritten in place.
    ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 != ""
    ${AndIf} ${FileExists} "$R0\${MANIFEST}"
        Call removeListed
        ${If} $R0 != $INSTDIR
            Delete "$R0\Uninstall.exe"
            RMDir "$R0"
        ${EndIf}
    ${EndIf}
    ${If} $R0 != $INSTDIR
        StrCpy $R0 $INSTDIR
        Call removeListed
    ${EndIf}

    !include "${PAYLOAD}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    !insertmacro WORK_DIR $0
    CreateDirectory "$0"
    ; Users (S-1-5-32-545) may create and change files there, whatever the system's language.
    ; Run through the shell, hidden: a plug-in would be one more file unpacked and run from the
    ; temporary folder.
    ExecShellWait "" "$SYSDIR\icacls.exe" '"$0" /grant *S-1-5-32-545:(OI)(CI)M' SW_HIDE

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    SetOutPath "$0"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
    SetOutPath "$INSTDIR"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${NOTICES_LINK}" "$INSTDIR\NOTICES.txt"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${SUPPORT_URL}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "${SUPPORT_URL}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    ; In KiB, as Apps & features reads it: what this section installs (${GetSize} would need the
    ; System plug-in).
    SectionGetSize ${SEC_INSTALL} $1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "!un.$(UN_PROGRAM)"
    SectionIn RO
    SetShellVarContext all
    ; The files it installed, one by one: a folder chosen by the user may hold others.
    !include "${UNPAYLOAD}"
    Delete "$INSTDIR\${MANIFEST}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${NOTICES_LINK}"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Unticked, so the logs stay unless the user asks; a silent uninstall keeps them.
Section /o "un.$(UN_LOGS)"
    !insertmacro WORK_DIR $0
    RMDir /r "$0\logs"
    RMDir "$0"
SectionEnd
