; The per-user Windows installer. It needs no administrator rights: the files
; go under the user's %LOCALAPPDATA%\Programs and the registration under HKCU.
;
; Built by the windows preset (installer/CMakeLists.txt), which defines
; VERSION, HANDLER, PREVIEW, TEMPLATES (the source folder) and OUTFILE.
;
; Switches for a silent installation:
;   /S               silent
;   /TEMPLATE=name   the template for link.txt: gmail (the default for a new
;                    installation), outlook, outlook-office365, yahoo, proton
;                    or fastmail; without it an existing link.txt is kept
;   /SETTINGS        open the Settings page for default apps afterwards, as
;                    the interactive installer does
;   /D=folder        another folder (last, unquoted)

; The programs are x86-64, and so is the installer.
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include MUI2.nsh

!define APP "Brindlequillworth"
!define PROGID "Brindlequillworth.mailto"
!define APP_KEY "Software\Brindlequillworth"
!define ARP_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlequillworth"
!define SETTINGS "ms-settings:defaultapps?registeredAppUser=Brindlequillworth"

; Every template, once: its file name without ".txt" and what the page calls it
; (with its access key).
!macro FOR_EACH_TEMPLATE action
    !insertmacro ${action} gmail "&Gmail"
    !insertmacro ${action} outlook "&Outlook.com (personal Microsoft account)"
    !insertmacro ${action} outlook-office365 "Outlook on the &web (work or school account)"
    !insertmacro ${action} yahoo "&Yahoo Mail"
    !insertmacro ${action} proton "&Proton Mail"
    !insertmacro ${action} fastmail "&Fastmail"
!macroend

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${ARP_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "FileDescription" "${APP} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${APP}"

Var Template      ; the chosen template's name, or "keep" for the current link.txt
Var OpenSettings  ; 1: open the Settings page at the end

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TITLE "${APP} is installed"
!define MUI_FINISHPAGE_TEXT "Windows lets only you choose which program opens mail links.$\r$\n$\r$\nIn Settings, under Default apps, pick ${APP} for MAILTO. You can change the web mail later by copying another file from the templates folder over link.txt."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open Settings to choose ${APP} for mail links"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenDefaultAppsSettings

!insertmacro MUI_PAGE_WELCOME
Page custom TemplatePage
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!macro IS_TEMPLATE name label
    ${If} $0 == "${name}"
        StrCpy $1 1
    ${EndIf}
!macroend

Function .onInit
    SetShellVarContext current
    ${If} ${FileExists} "$INSTDIR\link.txt"
        StrCpy $Template "keep"
    ${Else}
        StrCpy $Template "gmail"
    ${EndIf}
    StrCpy $OpenSettings 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/TEMPLATE=" $0
    ${IfNot} ${Errors}
        StrCpy $1 0
        !insertmacro FOR_EACH_TEMPLATE IS_TEMPLATE
        ${If} $1 == 0
            MessageBox MB_ICONSTOP "Unknown template $\"$0$\". The templates are gmail, outlook, outlook-office365, yahoo, proton and fastmail." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        StrCpy $Template $0
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/SETTINGS" $0
    ${IfNot} ${Errors}
        StrCpy $OpenSettings 1
    ${EndIf}
FunctionEnd

; One radio button per template, the current choice selected; a click makes
; its template the choice.
!macro TEMPLATE_RADIO name label
    ${NSD_CreateRadioButton} 10u $2u 280u 12u "${label}"
    Pop $0
    nsDialogs::SetUserData $0 "${name}"
    ${NSD_OnClick} $0 TemplateClicked
    ${If} $Template == "${name}"
        ${NSD_Check} $0
    ${EndIf}
    IntOp $2 $2 + 14
!macroend

Function TemplateClicked
    Pop $0
    nsDialogs::GetUserData $0
    Pop $Template
FunctionEnd

Function TemplatePage
    !insertmacro MUI_HEADER_TEXT "Web mail" "Choose the web mail whose compose page mail links open."
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    StrCpy $2 4
    ${If} ${FileExists} "$INSTDIR\link.txt"
        ${NSD_CreateRadioButton} 10u $2u 280u 12u "&Keep the current link.txt"
        Pop $0
        nsDialogs::SetUserData $0 "keep"
        ${NSD_OnClick} $0 TemplateClicked
        ${If} $Template == "keep"
            ${NSD_Check} $0
        ${EndIf}
        IntOp $2 $2 + 14
    ${EndIf}
    !insertmacro FOR_EACH_TEMPLATE TEMPLATE_RADIO
    IntOp $2 $2 + 6
    ${NSD_CreateLabel} 10u $2u 280u 24u "Each is a one-line file in the templates folder; copy another one over link.txt to switch later."
    Pop $0
    nsDialogs::Show
FunctionEnd

!macro INSTALL_TEMPLATE name label
    File "${TEMPLATES}/${name}.txt"
!macroend

Section "Install"
    ; The folder that holds the installation (%LOCALAPPDATA%\Programs) may be
    ; new too; if so the uninstaller removes it when it is left empty.
    ${GetParent} "$INSTDIR" $0
    ${IfNot} ${FileExists} "$0\*.*"
        WriteRegDWORD HKCU "${APP_KEY}" "CreatedParentFolder" 1
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${HANDLER}"
    File "${PREVIEW}"
    SetOutPath "$INSTDIR\templates"
    !insertmacro FOR_EACH_TEMPLATE INSTALL_TEMPLATE
    SetOutPath "$INSTDIR"
    ${If} $Template != "keep"
        ClearErrors
        CopyFiles /SILENT "$INSTDIR\templates\$Template.txt" "$INSTDIR\link.txt"
        ${If} ${Errors}
            Abort "Cannot write $INSTDIR\link.txt"
        ${EndIf}
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The handler as a program that can open mailto links: Windows offers it
    ; in Settings and the user makes it the default there.
    WriteRegStr HKCU "Software\Classes\${PROGID}" "" "Mail link (${APP})"
    WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\brindlequillworth.exe" "%1"'
    WriteRegStr HKCU "${APP_KEY}\Capabilities" "ApplicationName" "${APP}"
    WriteRegStr HKCU "${APP_KEY}\Capabilities" "ApplicationDescription" "Opens mailto links in the compose page of your web mail."
    WriteRegStr HKCU "${APP_KEY}\Capabilities\URLAssociations" "mailto" "${PROGID}"
    WriteRegStr HKCU "Software\RegisteredApplications" "${APP}" "${APP_KEY}\Capabilities"

    WriteRegStr HKCU "${ARP_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${ARP_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${ARP_KEY}" "Publisher" "${APP}"
    WriteRegStr HKCU "${ARP_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${ARP_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
    WriteRegStr HKCU "${ARP_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${ARP_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${ARP_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${ARP_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${ARP_KEY}" "EstimatedSize" $0

    ${If} $OpenSettings == 1
        Call OpenDefaultAppsSettings
    ${EndIf}
SectionEnd

Function OpenDefaultAppsSettings
    ExecShell "open" "${SETTINGS}"
FunctionEnd

!macro REMOVE_TEMPLATE name label
    Delete "$INSTDIR\templates\${name}.txt"
!macroend

; Removes what the installer added and nothing else: a file the user put in
; the folder keeps the folder.
Section "Uninstall"
    Delete "$INSTDIR\brindlequillworth.exe"
    Delete "$INSTDIR\brindlequillworth-preview.exe"
    Delete "$INSTDIR\link.txt"
    !insertmacro FOR_EACH_TEMPLATE REMOVE_TEMPLATE
    RMDir "$INSTDIR\templates"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ReadRegDWORD $0 HKCU "${APP_KEY}" "CreatedParentFolder"
    ${If} $0 == 1
        ${GetParent} "$INSTDIR" $1
        RMDir "$1"
    ${EndIf}

    DeleteRegKey HKCU "Software\Classes\${PROGID}"
    DeleteRegKey HKCU "${APP_KEY}"
    DeleteRegValue HKCU "Software\RegisteredApplications" "${APP}"
    DeleteRegKey /ifempty HKCU "Software\RegisteredApplications"
    DeleteRegKey HKCU "${ARP_KEY}"
SectionEnd
