; The Windows installer of one build (32- or 64-bit), made by make-installer.sh:
;   makensis -DVERSION=1.2.3 -DBITS=64|32 -DSTAGE=<staged files> -DOUTFILE=<setup.exe> Hammerlyn2.nsi
; STAGE holds app\ (the application and the licences), vst3\, clap\ and vst2\,
; and files.nsh, the generated list of every file with the commands that
; install and remove it, so that the uninstaller removes exactly what was put.
;
; The 64-bit installer is a 64-bit program (NSIS's amd64 stub; 32-bit Windows
; refuses to start it): $PROGRAMFILES, $COMMONFILES and the registry are the
; 64-bit ones. The 32-bit one runs as a 32-bit program, which Windows sends to
; the (x86) folders and the 32-bit registry view. Silent install: /S, with
; /VST2DIR=<folder> for the VST 2 DLL.
Unicode true
!if ${BITS} == 64
  Target amd64-unicode
  !define ARCH_NAME "64-bit"
!else
  Target x86-unicode
  !define ARCH_NAME "32-bit"
!endif
!define PRODUCT "Hammerlyn2"
!define PUBLISHER "Quillfeather"
; Each installer has its own entry in Apps & Features, so both can be installed.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Hammerlyn2-win${BITS}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "${PRODUCT} ${VERSION} (${ARCH_NAME})"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${ARCH_NAME} installer"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

Var Vst2Dir

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/app/LICENSE.txt"
!define MUI_PAGE_HEADER_TEXT "Where the application goes"
!define MUI_DIRECTORYPAGE_TEXT_TOP "The standalone application ${PRODUCT}.exe is installed in this folder. The VST3 and CLAP plug-ins go into the system's Common Files\VST3 and Common Files\CLAP folders, where every host looks."
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "The VST 2 plug-in's folder"
!define MUI_DIRECTORYPAGE_TEXT_TOP "${PRODUCT}.dll, the VST 2 plug-in, is installed in this folder. Choose the folder your host scans for VST 2 plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "VST 2 plug-in folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Vst2Dir
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "${STAGE}/files.nsh"

Function .onInit
  ; The VST 2 folder: the one given with /VST2DIR=, else the one of an earlier
  ; install, else the hosts' conventional registry value, else Program Files.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/VST2DIR=" $Vst2Dir
  ${If} ${Errors}
  ${OrIf} $Vst2Dir == ""
    ReadRegStr $Vst2Dir HKLM "${UNINSTALL_KEY}" "Vst2Folder"
  ${EndIf}
  ${If} $Vst2Dir == ""
    ReadRegStr $Vst2Dir HKLM "SOFTWARE\VST" "VSTPluginsPath"
  ${EndIf}
  ${If} $Vst2Dir == ""
    StrCpy $Vst2Dir "$PROGRAMFILES\VSTPlugins"
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

Section "Install"
  SetShellVarContext all
  ; An earlier version goes first, through its own uninstaller (run in place and
  ; waited for), so that nothing of it stays behind, wherever its VST 2 DLL went.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    ExecWait '"$0\Uninstall.exe" /S _?=$0'
    Delete "$0\Uninstall.exe"
    RMDir "$0"
  ${EndIf}

  !insertmacro InstallFiles
  CreateShortcut "$SMPROGRAMS\${PRODUCT} (${ARCH_NAME}).lnk" "$INSTDIR\${PRODUCT}.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${ARCH_NAME})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PRODUCT}.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Vst2Folder" "$Vst2Dir"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  ReadRegStr $Vst2Dir HKLM "${UNINSTALL_KEY}" "Vst2Folder"
FunctionEnd

; Removes what the installer put and nothing else: the user's saved sound
; (%APPDATA%\Hammerlyn2) stays, and a folder is removed only when empty.
Section "Uninstall"
  SetShellVarContext all
  !insertmacro UninstallFiles
  Delete "$SMPROGRAMS\${PRODUCT} (${ARCH_NAME}).lnk"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
