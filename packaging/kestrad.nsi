; Installer for KESTRAD: kestrad.exe and tamarak9.dll in one folder under
; Program Files, a Start menu entry, optionally a start-up shortcut that runs
; the boot-time check, an uninstaller and an Add/Remove Programs entry.
;
; Built by packaging/makensis.cmake (the "installer" target, and cpack):
;   makensis -DARCH=win32|win64 -DVERSION=<version> -DSRCDIR=<dir with the files>
;            -DOUTFILE=<setup.exe> -DEXE=<program file> -DLIBRARY=<library file>
;            -DPRODUCT=<name shown> -DFOLDER=<folder and uninstall key name>
;            -DPUBLISHER=<maker> -DMACHINES=<batch file> packaging/kestrad.nsi
; SRCDIR holds the program, the library, LICENSE and the batch file MACHINES;
; the names come from the top of CMakeLists.txt.
;
; Command line of the installer:
;   /S          silent
;   /STARTUP    also put the start-up shortcut ("kestrad.exe /CHECK") in place
;   /NOSTARTUP  leave it out (the default)
;   /D=<dir>    install folder; must come last, without quotes
; Exit code 2: nothing installed (not an administrator, the 64-bit setup on
; 32-bit Windows, or an install folder whose permissions could not be locked).
; Command line of the uninstaller: /S silent.

!macro KESTRAD_REQUIRE name
  !ifndef ${name}
    !error "makensis needs -D${name}=..."
  !endif
!macroend
!insertmacro KESTRAD_REQUIRE ARCH
!insertmacro KESTRAD_REQUIRE VERSION
!insertmacro KESTRAD_REQUIRE SRCDIR
!insertmacro KESTRAD_REQUIRE OUTFILE
!insertmacro KESTRAD_REQUIRE EXE
!insertmacro KESTRAD_REQUIRE LIBRARY
!insertmacro KESTRAD_REQUIRE PRODUCT
!insertmacro KESTRAD_REQUIRE FOLDER
!insertmacro KESTRAD_REQUIRE PUBLISHER
!insertmacro KESTRAD_REQUIRE MACHINES

; Unicode installers need Windows 2000 or later, which is what we support.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${FOLDER}"
!define STARTUP_LINK "${PRODUCT} boot-time check.lnk"
; A name of its own: installed into a folder that another product uses too,
; it neither overwrites that product's uninstaller nor is taken for it.
!define UNINSTALLER "uninstall-${EXE}"
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
!if "${ARCH}" == "win64"
  InstallDir "$PROGRAMFILES64\${FOLDER}"
!else
  InstallDir "$PROGRAMFILES\${FOLDER}"
!endif
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup (${ARCH})"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}, MIT licence"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_LICENSE "${SRCDIR}\LICENSE"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The install folder's permissions, wherever /D= points, as the Windows
; Installer package sets them: Administrators and SYSTEM full control, everyone
; else read and execute, nothing inherited from the parent folder. Start-up
; scripts and the start-up check run the program from here as SYSTEM or an
; administrator; were the folder writable, any user could put a DLL beside it.
; Locked before anything is copied, so that a folder that cannot be locked
; never holds the program: the install stops there, exit code 2.
; Vista and later: icacls, with the accounts' SIDs (their names are localized).
!define LOCK_GRANTS "*S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-1-0:(OI)(CI)RX"
; Windows 2000 and XP have no icacls, and cacls takes only the accounts'
; localized names and, to replace a list, waits for a "Y" of the system's
; language: the same list is written through the call icacls makes, from
; SDDL with the same SIDs. P: nothing inherited; 0x1200a9: read and execute.
!define LOCK_SDDL "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"

Section "-Lock the install folder" SecLock
  CreateDirectory "$INSTDIR"
  ${If} ${FileExists} "$SYSDIR\icacls.exe"
    StrCpy $1 '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r ${LOCK_GRANTS}'
    DetailPrint "Locking the install folder: $1"
    nsExec::ExecToLog $1
    Pop $0
  ${Else}
    DetailPrint "Locking the install folder: SetNamedSecurityInfo $INSTDIR ${LOCK_SDDL}"
    Call LockWithoutIcacls
    Pop $0
  ${EndIf}
  DetailPrint "Locking the install folder: exit code $0"
  ${If} $0 != "0"
    MessageBox MB_ICONSTOP "The permissions of $INSTDIR could not be locked (exit code $0): nothing was installed." /SD IDOK
    ; Only when empty: a folder that was there before stays.
    RMDir "$INSTDIR"
    Abort
  ${EndIf}
SectionEnd

Section "${PRODUCT} (required)" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${SRCDIR}\${EXE}"
  File "${SRCDIR}\${LIBRARY}"
  File "${SRCDIR}\${MACHINES}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "$SMPROGRAMS\${FOLDER}"
  CreateShortCut "$SMPROGRAMS\${FOLDER}\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" \
    "$INSTDIR\${EXE}" 0 SW_SHOWNORMAL "" "Check the IDE channels for PIO-mode slowdown"
  CreateShortCut "$SMPROGRAMS\${FOLDER}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The event log's source: Event Viewer and collectors render its entries
  ; with the program's message table.
  WriteRegExpandStr HKLM "${EVENTLOG_KEY}" "EventMessageFile" "$INSTDIR\${EXE}"
  WriteRegDWORD HKLM "${EVENTLOG_KEY}" "TypesSupported" 7
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Off unless chosen: a silent install adds nothing that runs at log-on
; without being asked to (/STARTUP). The shortcut runs the program in every
; user's session, often with an administrator's rights, so it is put in place
; only for a folder under Program Files, which ordinary users cannot write to.
Section /o "Check the IDE channels at every log-on" SecStartup
  Call IsUnderProgramFiles
  Pop $0
  ${If} $0 == 1
    CreateShortCut "$SMSTARTUP\${STARTUP_LINK}" "$INSTDIR\${EXE}" "/CHECK" \
      "$INSTDIR\${EXE}" 0 SW_SHOWNORMAL "" "${PRODUCT} boot-time DMA check"
  ${Else}
    DetailPrint "No start-up shortcut: $INSTDIR is not under Program Files"
  ${EndIf}
SectionEnd

; Pushes 1 when $INSTDIR lies under a Program Files folder, else 0.
Function IsUnderProgramFiles
  Push $1
  Push $2
  StrCpy $2 0
  StrLen $1 "$PROGRAMFILES\"
  StrCpy $1 "$INSTDIR\" $1
  ${If} $1 == "$PROGRAMFILES\"
    StrCpy $2 1
  ${EndIf}
  StrLen $1 "$PROGRAMFILES64\"
  StrCpy $1 "$INSTDIR\" $1
  ${If} $1 == "$PROGRAMFILES64\"
    StrCpy $2 1
  ${EndIf}
  StrCpy $1 $2
  Pop $2
  Exch $1
FunctionEnd

; Pushes 0 when $INSTDIR got the list ${LOCK_SDDL}, else the system's
; error code. Windows 2000 and later.
Function LockWithoutIcacls
  StrCpy $R9 "${LOCK_SDDL}"
  StrCpy $R8 "$INSTDIR"
  ; SDDL_REVISION_1
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R9, i 1, *p .r1, p 0) i .r0 ?e'
  Pop $2
  ${If} $0 != 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r3, *p .r4, *i .r5) i .r0 ?e'
    Pop $2
    ${If} $0 != 0
      ; SE_FILE_OBJECT; DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION.
      ; Like icacls, it passes the list on to what the folder holds already.
      System::Call 'advapi32::SetNamedSecurityInfoW(w R8, i 1, i 0x80000004, p 0, p 0, p r4, p 0) i .r2'
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  Push $2
FunctionEnd

Function .onInit
  ; Windows 2000 and XP ignore RequestExecutionLevel: a limited user would
  ; get a half-finished install. Nothing is installed then.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "Installing ${PRODUCT} needs an administrator: it installs into Program Files and registers its event-log source." /SD IDOK
    Abort
  ${EndIf}
!if "${ARCH}" == "win64"
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "This is the 64-bit ${PRODUCT}; use the 32-bit (win32) setup on this Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!endif
  ; Shortcuts and the uninstall entry are for all users.
  SetShellVarContext all

  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/STARTUP" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecStartup}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/NOSTARTUP" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecStartup}
  ${EndIf}
FunctionEnd

Function un.onInit
!if "${ARCH}" == "win64"
  SetRegView 64
!endif
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${LIBRARY}"
  Delete "$INSTDIR\${MACHINES}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: whatever a user put into the folder stays, and so does the folder.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${FOLDER}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${FOLDER}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${FOLDER}"
  Delete "$SMSTARTUP\${STARTUP_LINK}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENTLOG_KEY}"
SectionEnd
