; The Windows installer: Kestrova for the current user alone, no administrator needed.
; Made by scripts/package-windows:
;   makensis -DVERSION=1.0 -DPROGRAMS=<folder of the built .exe files> -DICON=<kestrova.ico>
;            -DWELCOME=<164x314 .bmp> -DOUTFILE=<setup .exe> kestrova.nsi
; Silent: setup.exe /S [/FFMPEG=path\ffmpeg.exe] [/D=folder]; uninstall.exe /S [/KEEPSETTINGS].

Unicode true
; The programs are 64-bit; so is everything here, and nothing is redirected.
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
; A file that cannot be written stops the installation rather than being skipped.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrova"
!define APP_KEY "Software\Classes\Applications\kestrova.exe"
!define PROGID "Kestrova.mkv"
!define PROGID_KEY "Software\Classes\${PROGID}"
!define MKV_KEY "Software\Classes\.mkv"
!define EXPLORER_MKV_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.mkv"
!define SETTINGS_PARENT "Software\Morvanta"
!define SETTINGS_KEY "${SETTINGS_PARENT}\avi"
!define HELPER "$PLUGINSDIR\kestrova-setup-helper.exe"
!define ANSWER "$PLUGINSDIR\answer.txt"

Name "Kestrova ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kestrova"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Kestrova ${VERSION}"
UninstallCaption "Kestrova ${VERSION} Uninstall"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Kestrova"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Kestrova ${VERSION} Setup"
VIAddVersionKey "CompanyName" "The Kestrova authors"
VIAddVersionKey "LegalCopyright" "The Kestrova authors, MIT licence"

Var Converter        ; the ffmpeg.exe to copy in; "" for none
Var ConverterLine    ; its version line, or why it is not one
Var ConverterField
Var ConverterLabel
Var KeepSettings

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WELCOME}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WELCOME}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "Kestrova ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "Kestrova converts Matroska files (*.mkv) into AVI files.$\r$\n$\r$\nIt is installed for you alone and needs no administrator. It converts with ffmpeg, which does not come with it: a later page finds the one you have, or lets you choose it.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom ConverterPage ConverterPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Kestrova is installed. Open it from the Start menu, or choose Open with > Kestrova on a Matroska file in Explorer. In a console, kestrova-cli works from any folder (in consoles opened from now on)."
!define MUI_FINISHPAGE_RUN "$INSTDIR\kestrova.exe"
!define MUI_FINISHPAGE_RUN_TEXT "&Open Kestrova"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A line of the helper's answer file without its line end; "" past the end.
!macro READ_ANSWER_LINE HANDLE VAR
    ClearErrors
    FileReadUTF16LE ${HANDLE} ${VAR}
    ${If} ${Errors}
        StrCpy ${VAR} ""
    ${EndIf}
    ${Do}
        StrCpy $R9 ${VAR} 1 -1
        ${If} $R9 == "$\r"
        ${OrIf} $R9 == "$\n"
            StrCpy ${VAR} ${VAR} -1
        ${Else}
            ${Break}
        ${EndIf}
    ${Loop}
!macroend

; Names the programs still running from the installation folder and waits for the user to close
; them; Cancel (and silent mode) stops here without changing anything.
!macro DEFINE_CLOSE_RUNNING UN WHAT
Function ${UN}CloseRunningPrograms
    ${Do}
        ClearErrors
        SetDetailsPrint none
        ExecWait '"${HELPER}" running "$INSTDIR" "${ANSWER}"' $0
        SetDetailsPrint lastused
        ${If} ${Errors}
        ${OrIf} $0 != 1
            ${Break}
        ${EndIf}
        StrCpy $1 ""
        FileOpen $2 "${ANSWER}" r
        ${Do}
            !insertmacro READ_ANSWER_LINE $2 $3
            ${If} $3 == ""
                ${Break}
            ${EndIf}
            ${If} $1 != ""
                StrCpy $1 "$1, "
            ${EndIf}
            StrCpy $1 "$1$3"
        ${Loop}
        FileClose $2
        DetailPrint "Still running from $INSTDIR: $1"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Kestrova is still running ($1).$\r$\n$\r$\nClose it, then choose Retry. Cancel stops the ${WHAT}." /SD IDCANCEL IDRETRY retry
        SetErrorLevel 2
        Quit
    retry:
    ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING "" "installation"
!insertmacro DEFINE_CLOSE_RUNNING "un." "removal"

; Deletes a key only when it holds nothing: no subkey, no value, no default value (DeleteRegKey
; /ifempty looks at subkeys alone, and would take another program's default with it).
Function un.RemoveEmptyKey
    Exch $0
    Push $1
    ClearErrors
    EnumRegKey $1 HKCU "$0" 0
    ${IfNot} ${Errors}
    ${AndIf} $1 == ""
        EnumRegValue $1 HKCU "$0" 0
        ${If} $1 == ""
            ClearErrors
            ReadRegStr $1 HKCU "$0" ""
            ${If} ${Errors}
                DeleteRegKey HKCU "$0"
            ${EndIf}
        ${EndIf}
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; The version line of $Converter into $ConverterLine; the error flag when it is no ffmpeg.
Function ReadConverterVersion
    StrCpy $ConverterLine ""
    ClearErrors
    SetDetailsPrint none
    ExecWait '"${HELPER}" version "$Converter" "${ANSWER}"' $0
    SetDetailsPrint lastused
    IfErrors 0 +3
        SetErrors
        Return
    FileOpen $1 "${ANSWER}" r
    !insertmacro READ_ANSWER_LINE $1 $ConverterLine
    FileClose $1
    ${If} $ConverterLine == ""
        StrCpy $ConverterLine "(nothing)"
    ${EndIf}
    ${If} $0 != 0
        SetErrors
    ${Else}
        ClearErrors
    ${EndIf}
FunctionEnd

; The value of /FFMPEG= on the command line into $R0, the error flag when there is none. Takes
; /FFMPEG="C:\a b\ffmpeg.exe" as well as "/FFMPEG=C:\a b\ffmpeg.exe" (what a console and most
; programs make of an argument with a blank); unquoted, the value ends before the next " /".
Function FfmpegOption
    StrLen $R2 $CMDLINE
    StrCpy $R1 0
    ${Do}
        ${If} $R1 >= $R2
            SetErrors
            Return
        ${EndIf}
        StrCpy $R3 $CMDLINE 8 $R1
        ${If} $R3 == "/FFMPEG="
            ${Break}
        ${EndIf}
        IntOp $R1 $R1 + 1
    ${Loop}
    StrCpy $R4 ""
    ${If} $R1 > 0
        IntOp $R3 $R1 - 1
        StrCpy $R4 $CMDLINE 1 $R3
    ${EndIf}
    IntOp $R1 $R1 + 8
    StrCpy $R0 $CMDLINE "" $R1
    StrCpy $R3 $R0 1
    ${If} $R3 == '"'
        StrCpy $R0 $R0 "" 1
        StrCpy $R4 '"'
    ${EndIf}
    ${If} $R4 == '"'
        StrCpy $R5 '"'
    ${Else}
        StrCpy $R5 " /"
    ${EndIf}
    StrLen $R6 $R5
    StrLen $R2 $R0
    StrCpy $R1 0
    ${Do}
        ${If} $R1 >= $R2
            ${Break}
        ${EndIf}
        StrCpy $R3 $R0 $R6 $R1
        ${If} $R3 == $R5
            StrCpy $R0 $R0 $R1
            ${Break}
        ${EndIf}
        IntOp $R1 $R1 + 1
    ${Loop}
    ClearErrors
FunctionEnd

Function .onInit
    SetShellVarContext current
    InitPluginsDir
    File "/oname=${HELPER}" "${PROGRAMS}\kestrova-setup-helper.exe"
    StrCpy $Converter ""
    ClearErrors
    Call FfmpegOption
    ${IfNot} ${Errors}
        StrCpy $Converter $R0
        Call ReadConverterVersion
        ${If} ${Errors}
            ; Asked for by name: no converter would be a failure reported as success.
            MessageBox MB_OK|MB_ICONSTOP "$Converter is not ffmpeg. Its answer to -version:$\r$\n$ConverterLine$\r$\n$\r$\nNothing was installed." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${ElseIf} ${Silent}
        ; What the converter page would offer.
        Call DefaultConverter
    ${EndIf}
FunctionEnd

; Without a choice: the converter installed already is kept, else the first ffmpeg.exe on PATH.
Function DefaultConverter
    ${If} $Converter != ""
    ${OrIf} ${FileExists} "$INSTDIR\core\xcoder.exe"
        Return
    ${EndIf}
    ExecWait '"${HELPER}" find-ffmpeg "${ANSWER}"' $0
    ${If} $0 == 0
        FileOpen $1 "${ANSWER}" r
        !insertmacro READ_ANSWER_LINE $1 $Converter
        FileClose $1
        Call ReadConverterVersion
        ${If} ${Errors}
            StrCpy $Converter ""
        ${EndIf}
    ${EndIf}
FunctionEnd

Function ShowConverterChoice
    ${If} $Converter != ""
        ${NSD_SetText} $ConverterLabel "$ConverterLine"
    ${ElseIf} ${FileExists} "$INSTDIR\core\xcoder.exe"
        StrCpy $0 $Converter
        StrCpy $Converter "$INSTDIR\core\xcoder.exe"
        Call ReadConverterVersion
        StrCpy $Converter $0
        ${NSD_SetText} $ConverterLabel "The converter installed already is kept: $ConverterLine"
    ${Else}
        ${NSD_SetText} $ConverterLabel "None: Kestrova is installed all the same, and says $\"There isn't a core file.$\" until an ffmpeg.exe is put in its folder as core\xcoder.exe."
    ${EndIf}
FunctionEnd

Function ConverterPage
    !insertmacro MUI_HEADER_TEXT "Converter" "Choose the ffmpeg that Kestrova converts with."
    Call DefaultConverter
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 36u "Kestrova converts with ffmpeg, which does not come with it. The ffmpeg.exe chosen here is copied into Kestrova's folder as core\xcoder.exe, with its DLLs when it has them. Nothing is downloaded."
    Pop $0
    ${NSD_CreateLabel} 0 42u 100% 10u "&ffmpeg.exe (the first one on PATH unless you choose another; empty for none):"
    Pop $0
    ${NSD_CreateText} 0 54u 238u 13u "$Converter"
    Pop $ConverterField
    ${NSD_CreateBrowseButton} 243u 53u 52u 15u "&Browse..."
    Pop $0
    ${NSD_OnClick} $0 BrowseConverter
    ${NSD_CreateLabel} 0 76u 100% 40u ""
    Pop $ConverterLabel
    Call ShowConverterChoice
    ${NSD_SetFocus} $ConverterField
    nsDialogs::Show
FunctionEnd

Function BrowseConverter
    ${NSD_GetText} $ConverterField $0
    nsDialogs::SelectFileDialog open "$0" "ffmpeg.exe|ffmpeg.exe|Programs (*.exe)|*.exe"
    Pop $0
    ${If} $0 == ""
        Return
    ${EndIf}
    ${NSD_SetText} $ConverterField $0
    StrCpy $Converter $0
    Call ReadConverterVersion
    ${If} ${Errors}
        ${NSD_SetText} $ConverterLabel "This is not ffmpeg. Its answer to -version: $ConverterLine"
    ${Else}
        Call ShowConverterChoice
    ${EndIf}
FunctionEnd

Function ConverterPageLeave
    ${NSD_GetText} $ConverterField $Converter
    ${If} $Converter == ""
        Return
    ${EndIf}
    ${IfNot} ${FileExists} "$Converter"
        MessageBox MB_OK|MB_ICONEXCLAMATION "There is no file $Converter."
        Abort
    ${EndIf}
    Call ReadConverterVersion
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "$Converter is not ffmpeg. Its answer to -version:$\r$\n$ConverterLine$\r$\n$\r$\nChoose an ffmpeg.exe, or empty the field to install without one."
        Abort
    ${EndIf}
FunctionEnd

; Deletes the converter and its libraries from the folder on the stack.
!macro DEFINE_DELETE_CONVERTER UN
Function ${UN}DeleteConverterFiles
    Exch $0
    Delete "$0\xcoder.exe"
    Delete "$0\av*-*.dll"
    Delete "$0\sw*-*.dll"
    Delete "$0\postproc*-*.dll"
    Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_DELETE_CONVERTER ""
!insertmacro DEFINE_DELETE_CONVERTER "un."

Var CopyFailed

; Copies the files that match $R1 in the converter's folder $R0 into core\.
Function CopyMatching
    ClearErrors
    FindFirst $R2 $R3 "$R0\$R1"
    ${DoWhile} $R3 != ""
        ClearErrors
        CopyFiles /SILENT "$R0\$R3" "$INSTDIR\core\$R3"
        ${If} ${Errors}
            StrCpy $CopyFailed 1
        ${EndIf}
        FindNext $R2 $R3
    ${Loop}
    FindClose $R2
FunctionEnd

Function CopyConverter
    ${GetParent} "$Converter" $R0
    DetailPrint "Converter: $Converter ($ConverterLine)"
    ; The libraries of a converter installed before may not fit the new one.
    Push "$INSTDIR\core"
    Call DeleteConverterFiles
    StrCpy $CopyFailed 0
    ClearErrors
    CopyFiles /SILENT "$Converter" "$INSTDIR\core\xcoder.exe"
    ${If} ${Errors}
        StrCpy $CopyFailed 1
    ${EndIf}
    StrCpy $R1 "av*-*.dll"
    Call CopyMatching
    StrCpy $R1 "sw*-*.dll"
    Call CopyMatching
    StrCpy $R1 "postproc*-*.dll"
    Call CopyMatching
    ${If} $CopyFailed == 1
        Push "$INSTDIR\core"
        Call DeleteConverterFiles
        MessageBox MB_OK|MB_ICONSTOP "The converter could not be copied into $INSTDIR\core (is the disk full?). Kestrova is installed without it." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

Section "Kestrova"
    Call CloseRunningPrograms
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}\kestrova.exe"
    File "${PROGRAMS}\kestrova-cli.exe"
    CreateDirectory "$INSTDIR\core"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Kestrova"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Kestrova authors"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrova.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

    ${If} $Converter != ""
        Call CopyConverter
    ${ElseIf} ${FileExists} "$INSTDIR\core\xcoder.exe"
        DetailPrint "Converter: the one installed already is kept"
    ${Else}
        DetailPrint "Converter: none; Kestrova will say $\"There isn't a core file.$\""
    ${EndIf}

    CreateShortcut "$SMPROGRAMS\Kestrova.lnk" "$INSTDIR\kestrova.exe" "" "$INSTDIR\kestrova.exe" 0 \
        SW_SHOWNORMAL "" "Convert Matroska files into AVI files"

    ; "Open with" for Matroska files, without taking the default from the user's player.
    WriteRegStr HKCU "${APP_KEY}" "FriendlyAppName" "Kestrova"
    WriteRegStr HKCU "${APP_KEY}\DefaultIcon" "" "$INSTDIR\kestrova.exe,0"
    WriteRegStr HKCU "${APP_KEY}\shell\open\command" "" '"$INSTDIR\kestrova.exe" "%1"'
    WriteRegStr HKCU "${APP_KEY}\SupportedTypes" ".mkv" ""
    WriteRegStr HKCU "${PROGID_KEY}" "" "Matroska video"
    WriteRegStr HKCU "${PROGID_KEY}" "FriendlyTypeName" "Matroska video"
    WriteRegStr HKCU "${PROGID_KEY}\DefaultIcon" "" "$INSTDIR\kestrova.exe,0"
    WriteRegStr HKCU "${PROGID_KEY}\shell\open" "FriendlyAppName" "Kestrova"
    WriteRegStr HKCU "${PROGID_KEY}\shell\open\command" "" '"$INSTDIR\kestrova.exe" "%1"'
    WriteRegStr HKCU "${MKV_KEY}\OpenWithProgids" "${PROGID}" ""
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ClearErrors
    SetDetailsPrint none
    ExecWait '"${HELPER}" path-add "$INSTDIR"' $0
    SetDetailsPrint lastused
    ${If} ${Errors}
    ${OrIf} $0 != 0
        DetailPrint "Could not add $INSTDIR to your PATH"
        MessageBox MB_OK|MB_ICONEXCLAMATION "$INSTDIR could not be added to your PATH: kestrova-cli works with its full path." /SD IDOK
    ${Else}
        DetailPrint "Added $INSTDIR to your PATH"
    ${EndIf}

    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    SetShellVarContext current
    InitPluginsDir
    File "/oname=${HELPER}" "${PROGRAMS}\kestrova-setup-helper.exe"
    StrCpy $KeepSettings 0
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/KEEPSETTINGS" $1
    ${IfNot} ${Errors}
        StrCpy $KeepSettings 1
    ${EndIf}
FunctionEnd

; Deletes the registry key on the stack when its open command is this installation's.
Function un.RemoveOwnCommandKey
    Exch $0
    ReadRegStr $1 HKCU "$0\shell\open\command" ""
    ${If} $1 == '"$INSTDIR\kestrova.exe" "%1"'
        DeleteRegKey HKCU "$0"
    ${EndIf}
    Pop $0
FunctionEnd

; Deletes what the program leaves in the folder $R0: files named $R1<number>$R2.
Function un.DeleteNumbered
    StrLen $R3 $R1
    StrLen $R4 $R2
    FindFirst $R5 $R6 "$R0\$R1*$R2"
    ${DoWhile} $R6 != ""
        StrCpy $R7 $R6 "" $R3
        StrCpy $R7 $R7 -$R4
        StrCpy $R8 $R7 1
        ${If} $R8 == "-"
            StrCpy $R7 $R7 "" 1
        ${EndIf}
        ; Only digits are left of a name of the program's own.
        StrCpy $R8 $R7
        ${DoWhile} $R8 != ""
            StrCpy $R9 $R8 1
            ${If} $R9 S< "0"
            ${OrIf} $R9 S> "9"
                ${Break}
            ${EndIf}
            StrCpy $R8 $R8 "" 1
        ${Loop}
        ${If} $R7 != ""
        ${AndIf} $R8 == ""
            Delete "$R0\$R6"
        ${EndIf}
        FindNext $R5 $R6
    ${Loop}
    FindClose $R5
FunctionEnd

Section "Uninstall"
    Call un.CloseRunningPrograms
    ${IfNot} ${Silent}
        StrCpy $KeepSettings 0
        ${If} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "Keep Kestrova's settings (the last output folder) for a later installation?" IDYES`
            StrCpy $KeepSettings 1
        ${EndIf}
    ${EndIf}

    ClearErrors
    SetDetailsPrint none
    ExecWait '"${HELPER}" path-remove "$INSTDIR"' $0
    SetDetailsPrint lastused
    ${If} ${Errors}
    ${OrIf} $0 != 0
        DetailPrint "Could not take $INSTDIR out of your PATH"
    ${EndIf}

    Delete "$INSTDIR\kestrova.exe"
    Delete "$INSTDIR\kestrova-cli.exe"
    Push "$INSTDIR\core"
    Call un.DeleteConverterFiles
    RMDir "$INSTDIR\core"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: the folder may hold what someone else put there.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Kestrova.lnk"

    Push "${APP_KEY}"
    Call un.RemoveOwnCommandKey
    Push "${PROGID_KEY}"
    Call un.RemoveOwnCommandKey
    DeleteRegValue HKCU "${MKV_KEY}\OpenWithProgids" "${PROGID}"
    Push "${MKV_KEY}\OpenWithProgids"
    Call un.RemoveEmptyKey
    Push "${MKV_KEY}"
    Call un.RemoveEmptyKey
    DeleteRegValue HKCU "${EXPLORER_MKV_KEY}\OpenWithProgids" "${PROGID}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ; What the program leaves in the user's data folder: scripts and probe logs of a run that
    ; was killed.
    StrCpy $R0 "$APPDATA\Vantrel"
    StrCpy $R1 "bjob"
    StrCpy $R2 ".bat"
    Call un.DeleteNumbered
    RMDir "$APPDATA\Vantrel"
    StrCpy $R0 "$APPDATA"
    StrCpy $R1 "xcoder"
    StrCpy $R2 ".txt"
    Call un.DeleteNumbered

    ${If} $KeepSettings == 1
        DetailPrint "Kept the settings in HKEY_CURRENT_USER\${SETTINGS_KEY}"
    ${Else}
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        Push "${SETTINGS_PARENT}"
        Call un.RemoveEmptyKey
    ${EndIf}

    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == "$INSTDIR"
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}
SectionEnd
