; The Windows installer of Orvenna 2000: a per-user install without
; administrator rights, Start-menu entries, an optional desktop shortcut and
; an entry in the list of installed programs.
; makensis -DVERSION=2.00 -DVERSION4=2.0.0.0 -DSTAGE=folder -DICON=file.ico -DOUTFILE=setup.exe
; STAGE holds the files to install, exactly those of the portable zip.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all
; A file that cannot be written stops the install (Retry or Cancel), never
; skipped silently.
AllowSkipFiles off

!define NAME "Orvenna 2000"
!define PUBLISHER "Orvenna 2000 developers"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvenna 2000"
!define MENU "$SMPROGRAMS\Orvenna 2000"
!define DESKTOP_LINK "$DESKTOP\Orvenna 2000.lnk"
; The game and the companion, found by their windows while they run.
!define GAME_CLASS "ORVENNA 2000"
!define HINT_TITLE_IT "Consigli - Orvenna 2000"
!define HINT_TITLE_EN "Hints - Orvenna 2000"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Orvenna 2000"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT License"

!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartGame
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\LEGGIMI.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The pages follow the user's interface language: Italian there, English
; (the first) everywhere else.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Italian"

LangString SecGame ${LANG_ENGLISH} "Orvenna 2000 (game, hints, music, rules)"
LangString SecGame ${LANG_ITALIAN} "Orvenna 2000 (gioco, consigli, musica, regole)"
LangString SecDesktop ${LANG_ENGLISH} "Desktop shortcut"
LangString SecDesktop ${LANG_ITALIAN} "Collegamento sul desktop"
LangString Running ${LANG_ENGLISH} "Orvenna 2000 or its hints window is running.$\r$\n$\r$\nClose it, then press Retry."
LangString Running ${LANG_ITALIAN} "Orvenna 2000 o la finestra dei consigli è aperta.$\r$\n$\r$\nChiudila, poi premi Riprova."

; The files of the install, listed once for installing and removing.
!macro GameFiles DO
    !insertmacro ${DO} "LEGGIMI.txt"
    !insertmacro ${DO} "LICENSE.txt"
    !insertmacro ${DO} "Orv2000.mid"
    !insertmacro ${DO} "orv2000.htm"
    !insertmacro ${DO} "orv2000-hint.exe"
    !insertmacro ${DO} "orv2000.exe"
!macroend
!macro InstallFile FILE
    File "${STAGE}\${FILE}"
!macroend
!macro RemoveFile FILE
    Delete "$INSTDIR\${FILE}"
!macroend

; Files of a running program cannot be replaced or removed: wait for the
; player to close it rather than leave a half-written folder. A silent run
; gives up at once (exit code 2).
!macro WaitUntilClosed UN
Function ${UN}WaitUntilClosed
retry:
    FindWindow $0 "${GAME_CLASS}"
    IntCmp $0 0 0 running running
    FindWindow $0 "#32770" "${HINT_TITLE_IT}"
    IntCmp $0 0 0 running running
    FindWindow $0 "#32770" "${HINT_TITLE_EN}"
    IntCmp $0 0 closed running running
running:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" /SD IDCANCEL IDRETRY retry
    Abort
closed:
FunctionEnd
!macroend
!insertmacro WaitUntilClosed ""
!insertmacro WaitUntilClosed "un."

Section "$(SecGame)" SecGame
    SectionIn RO
    Call WaitUntilClosed
    SetOutPath "$INSTDIR"
    !insertmacro GameFiles InstallFile
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; Every shortcut starts in the install folder: the game reads its music
    ; and rules page from its working folder.
    CreateDirectory "${MENU}"
    CreateShortcut "${MENU}\Orvenna 2000.lnk" "$INSTDIR\orv2000.exe"
    CreateShortcut "${MENU}\Consigli - Orvenna 2000.lnk" "$INSTDIR\orv2000-hint.exe"
    CreateShortcut "${MENU}\Regole del gioco.lnk" "$INSTDIR\orv2000.htm"
    CreateShortcut "${MENU}\Disinstalla Orvenna 2000.lnk" "$INSTDIR\uninstall.exe"

    WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\orv2000.exe,0"
    WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "$(SecDesktop)" SecDesktop
    SetOutPath "$INSTDIR"
    CreateShortcut "${DESKTOP_LINK}" "$INSTDIR\orv2000.exe"
SectionEnd

; Last, so the size counts every file and the uninstaller.
Section "-Size"
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Function StartGame
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\orv2000.exe"'
FunctionEnd

; Removes what the installer wrote and nothing else: a file the player put in
; the folder stays, and with it the folder.
Section "Uninstall"
    Call un.WaitUntilClosed
    !insertmacro GameFiles RemoveFile
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "${MENU}\Orvenna 2000.lnk"
    Delete "${MENU}\Consigli - Orvenna 2000.lnk"
    Delete "${MENU}\Regole del gioco.lnk"
    Delete "${MENU}\Disinstalla Orvenna 2000.lnk"
    RMDir "${MENU}"
    Delete "${DESKTOP_LINK}"
    DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
