; The Windows setup of Shotstamp, built by the CMake target shotstamp_setup:
;   makensis -DVERSION=2.0.0 -DPROGRAM=... -DHELP=... -DCLI=... -DOUTFILE=... [-DAMD64] shotstamp.nsi
; A per-user install: no administrator prompt, the programs in the user's own programs folder,
; the uninstaller under the user's Uninstall key. Both run silently with /S.
Unicode true
!ifdef AMD64
    Target amd64-unicode
!endif
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Shotstamp"
!define HELP_LINK "$SMPROGRAMS\Shotstamp help.lnk"

Name "Shotstamp ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Shotstamp"
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetShellVarContext current
FunctionEnd

Function un.onInit
    SetShellVarContext current
FunctionEnd

Section
    ; The folder of the user's programs may not exist yet; the uninstaller removes it again only
    ; when this setup made it and it is empty by then.
    ${GetParent} "$INSTDIR" $1
    ${IfNot} ${FileExists} "$1\*.*"
        StrCpy $2 1
    ${Else}
        StrCpy $2 0
    ${EndIf}

    SetOutPath "$INSTDIR"
    File "/oname=Shotstamp.exe" "${PROGRAM}"
    File "/oname=Shotstamp.CHM" "${HELP}"
    File "/oname=shotstamp-cli.exe" "${CLI}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; The program makes its own Send To shortcut, exactly as a user running /Install gets it.
    ExecWait '"$INSTDIR\Shotstamp.exe" /Install'
    CreateShortcut "${HELP_LINK}" "$INSTDIR\Shotstamp.CHM"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Shotstamp"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Shotstamp authors"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Shotstamp.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder" $2
    ${GetSize} "$INSTDIR" "/S=0K" $0 $3 $4
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section Uninstall
    ExecWait '"$INSTDIR\Shotstamp.exe" /Uninstall'
    Delete "${HELP_LINK}"
    ; Exactly the files the setup put there; a file of the user's keeps the folder.
    Delete "$INSTDIR\Shotstamp.exe"
    Delete "$INSTDIR\Shotstamp.CHM"
    Delete "$INSTDIR\shotstamp-cli.exe"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder"
    ${If} $0 = 1
        ${GetParent} "$INSTDIR" $1
        RMDir "$1"
    ${EndIf}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
