; The Windows installer: pelvar-setup-<version>.exe, made by
; scripts/build-windows with
;   makensis -INPUTCHARSET UTF8 -DVERSION=2.0.2 -DPROGRAMS=<folder> -DOUTFILE=<file> pelvar.nsi
; PROGRAMS is the folder holding pelvar.exe and pelvar-cli.exe.
;
; It installs both programs under Program Files, a Start menu entry, the
; journal's base folder, the operators' rights (the local Users group may
; change the settings and write the journal, and set the clock unless that
; part is left out) and, when chosen, the autostart entry the settings
; dialog writes. Silent: /S, with /AUTOSTART=1 for the autostart entry and
; /NOCLOCK=1 to leave the clock right out. The uninstaller removes what was
; installed and leaves the settings and the journals.
Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include x64.nsh

!define PRODUCT "检测监管数据上传"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelvar"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} 安装"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pelvar"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "Pelvar ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "Pelvar"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Pelvar"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "程序" SecPrograms
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${PROGRAMS}\pelvar.exe"
  File "${PROGRAMS}\pelvar-cli.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\pelvar.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\卸载.lnk" "$INSTDIR\uninstall.exe"

  SetRegView 64
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pelvar"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelvar.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The settings key, the journal folder and (when chosen) the clock right for
; the operators' standard accounts; pelvar-cli creates what is missing.
Section "操作员可同步时间" SecClock
SectionEnd

Section "-Rights"
  ${If} ${SectionIsSelected} ${SecClock}
    nsExec::ExecToLog '"$INSTDIR\pelvar-cli.exe" grant-operators --clock'
  ${Else}
    nsExec::ExecToLog '"$INSTDIR\pelvar-cli.exe" grant-operators'
  ${EndIf}
  Pop $0
  ${If} $0 != 0
    DetailPrint "操作员权限未能全部设置 ($0)"
  ${EndIf}
SectionEnd

; The same value the settings dialog writes: the full path, unquoted, in the
; 32-bit view.
Section /o "随机启动程序" SecAutostart
  SetRegView 32
  WriteRegStr HKLM "${RUN_KEY}" "zqjcPelvarAuto" "$INSTDIR\pelvar.exe"
  SetRegView 64
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == "1"
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/NOCLOCK=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == "1"
    !insertmacro UnselectSection ${SecClock}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\pelvar.exe"
  Delete "$INSTDIR\pelvar-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\卸载.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  ; The autostart entry only when it still starts the program removed here.
  SetRegView 32
  ReadRegStr $0 HKLM "${RUN_KEY}" "zqjcPelvarAuto"
  ${If} $0 == "$INSTDIR\pelvar.exe"
    DeleteRegValue HKLM "${RUN_KEY}" "zqjcPelvarAuto"
  ${EndIf}
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
