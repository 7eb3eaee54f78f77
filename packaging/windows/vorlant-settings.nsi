; The Windows installer: the folder of vorlant-settings-windows.zip put into Program Files, a
; Start-menu shortcut, an Add/Remove Programs entry, and the shared store's key made writable
; for the local Users group. Built by the cmake target vorlant-settings-installer, which passes
;   /DDEPLOY=<the zip's folder> /DICON=<the program's .ico> /DVERSION=<x.y> /DOUTFILE=<setup.exe>
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Vorlant service settings"
!define PUBLISHER "Vorlant"
!define EXE "vorlant-settings.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorlant"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Administrators and SYSTEM full control; local users read, write and delete values and subkeys
; (Qt removes groups when it rewrites a miner entry), but may not change rights or ownership.
; Inherited by every subkey, the store's own and those Qt creates later.
!define STORE_SDDL "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KRKWSD;;;BU)"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vorlant"
; An upgrade goes where the earlier install went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} installer"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; Gives the store's key the rights above; aborts the install when Windows refuses, so that a
; finished install always means users can save.
Function ApplyStoreRights
    ; A key is made by writing a value into it: NSIS has no plain "create key".
    WriteRegStr HKLM "Software\Vorlant" "vorlant-installer" ""
    DeleteRegValue HKLM "Software\Vorlant" "vorlant-installer"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${STORE_SDDL}", i 1, *p .r1, p 0) i .r0'
    ${If} $0 <> 0
        System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
        ; SE_REGISTRY_KEY, DACL | PROTECTED_DACL: the parent's rights no longer flow in, and
        ; Windows passes the new ones down to the subkeys that exist already.
        System::Call 'advapi32::SetNamedSecurityInfoW(w "MACHINE\SOFTWARE\Vorlant", i 4, i 0x80000004, p 0, p 0, p r3, p 0) i .r0'
        System::Call 'kernel32::LocalFree(p r1)'
    ${Else}
        StrCpy $0 "invalid rights"
    ${EndIf}
    ${If} $0 != 0
        DetailPrint "Setting the rights of HKEY_LOCAL_MACHINE\Software\Vorlant failed ($0)"
        MessageBox MB_ICONSTOP "Users could not be given the right to save settings in HKEY_LOCAL_MACHINE\Software\Vorlant (error $0). The installation is incomplete." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    ; Made after the rights are set, so it inherits them.
    WriteRegStr HKLM "Software\Vorlant\OrganizationDefaults" "vorlant-installer" ""
    DeleteRegValue HKLM "Software\Vorlant\OrganizationDefaults" "vorlant-installer"
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    ; An upgrade replaces the whole folder's content, so no DLL of an older build stays behind.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    Delete "$INSTDIR\*.dll"
    File /r "${DEPLOY}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    Call ApplyStoreRights
SectionEnd

; The store stays: it holds the service's settings, which a reinstall takes up again. The folder
; goes last, so that its absence means the uninstall is done.
Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The autostart value would name a file that is gone; another program's value is kept.
    ReadRegStr $0 HKCU "${RUN_KEY}" "VorlantGui"
    ${If} $0 == '"$INSTDIR\${EXE}" --auto'
    ${OrIf} $0 == '"$INSTDIR\${EXE}"'
    ${OrIf} $0 == '$INSTDIR\${EXE} --auto'
    ${OrIf} $0 == '$INSTDIR\${EXE}'
        DeleteRegValue HKCU "${RUN_KEY}" "VorlantGui"
    ${EndIf}
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
