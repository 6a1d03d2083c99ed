; The demo setup package of Tarvelmoss Pelnix. Run hidden by the online
; installer, it reports its status as "Key=value" lines in UTF-8 on the
; standard output handle it inherited.
;   makensis -DPRODUCT_EXE=<RadidaZezuzadi.exe> -DOUT_FILE=<setup.exe> [-DTARGET=amd64-unicode] demo_package.nsi
; TARGET is the package's architecture, that of the product it carries:
; x86-unicode (the default) or amd64-unicode.
!ifndef TARGET
  !define TARGET "x86-unicode"
!endif
Target ${TARGET}

!ifndef PRODUCT_EXE
  !error "PRODUCT_EXE must name RadidaZezuzadi.exe"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "TarvelmossPelnixDemoSetup.exe"
!endif
!ifndef PRODUCT_VERSION
  !define PRODUCT_VERSION "1.0.0"
!endif

!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "Tarvelmoss Pelnix"
OutFile "${OUT_FILE}"
!if "${TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\Tarvelmoss Pelnix"
!else
  InstallDir "$PROGRAMFILES\Tarvelmoss Pelnix"
!endif
; The online installer decides about elevation and starts us accordingly.
RequestExecutionLevel user
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow
AutoCloseWindow true
; Without /S only the progress page shows.
Page instfiles
UninstPage instfiles

; Writes one status line ($0, without line break) to the standard output in
; UTF-8; does nothing when there is no usable handle.
!macro STATUS_WRITER prefix
Function ${prefix}WriteStatus
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  System::Call 'kernel32::GetStdHandle(i -11) p .r1'
  ${If} $1 P<> 0
  ${AndIf} $1 P<> -1
    StrCpy $2 "$0$\n"
    ; The byte count includes the terminating NUL, which is not written.
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r2, i -1, p 0, i 0, p 0, p 0) i .r3'
    ${If} $3 > 1
      System::Alloc $3
      Pop $4
      ${If} $4 P<> 0
        System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r2, i -1, p r4, i r3, p 0, p 0) i .r3'
        IntOp $3 $3 - 1
        ${If} $3 > 0
          System::Call 'kernel32::WriteFile(p r1, p r4, i r3, *i 0, p 0) i'
        ${EndIf}
        System::Free $4
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro STATUS_WRITER ""
!insertmacro STATUS_WRITER "un."

!macro STATUS text
  Push "${text}"
  Call WriteStatus
!macroend
!macro UN_STATUS text
  Push "${text}"
  Call un.WriteStatus
!macroend

; Reports a failure and ends with a non-zero exit code.
!macro FAIL text
  !insertmacro STATUS "Error=${text}"
  ; Only a visible run tells the user; /SD skips the box when silent.
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

Var OptLanguage
Var OptDesktop
Var OptQuickLaunch

; The value of an option such as -inslang="de_DE", without quotes; "" when absent.
!macro OPTION var name
  ${GetOptions} $R9 "${name}" ${var}
  ${IfThen} ${Errors} ${|} StrCpy ${var} "" ${|}
  StrCpy $R8 ${var} 1
  ${If} $R8 == '"'
    StrCpy ${var} ${var} "" 1
    StrCpy $R8 ${var} 1 -1
    ${IfThen} $R8 == '"' ${|} StrCpy ${var} ${var} -1 ${|}
  ${EndIf}
!macroend

Function .onInit
  ${GetParameters} $R9
  !insertmacro OPTION $OptLanguage "-inslang="
  !insertmacro OPTION $OptDesktop "-dsc="
  !insertmacro OPTION $OptQuickLaunch "-ssc="
FunctionEnd

Section "Install"
  !insertmacro STATUS "Encode=UTF8"
  !insertmacro STATUS "Progress=0.1"

  ClearErrors
  CreateDirectory "$INSTDIR"
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro FAIL "cannot create the install folder"
  ${EndIf}
  SetOutPath "$INSTDIR"
  ; "try": an unwritable file sets the error flag instead of asking.
  SetOverwrite try
  ClearErrors
  File "${PRODUCT_EXE}"
  ${If} ${Errors}
    !insertmacro FAIL "cannot write RadidaZezuzadi.exe"
  ${EndIf}
  !insertmacro STATUS "Progress=0.3"
  ClearErrors
  File "${PRODUCT_DATA}"
  ${If} ${Errors}
    !insertmacro FAIL "cannot write pelnix-data.bin"
  ${EndIf}
  !insertmacro STATUS "Progress=0.5"

  ClearErrors
  WriteINIStr "$INSTDIR\config.ini" "Install" "Version" "${PRODUCT_VERSION}"
  ${If} $OptLanguage != ""
    WriteINIStr "$INSTDIR\config.ini" "Install" "Language" "$OptLanguage"
  ${EndIf}
  ${If} $OptDesktop != ""
    WriteINIStr "$INSTDIR\config.ini" "Install" "DesktopShortcut" "$OptDesktop"
  ${EndIf}
  ${If} $OptQuickLaunch != ""
    WriteINIStr "$INSTDIR\config.ini" "Install" "QuickLaunch" "$OptQuickLaunch"
  ${EndIf}
  ${If} ${Errors}
    !insertmacro FAIL "cannot write config.ini"
  ${EndIf}
  ; Wine's flush reports failure even when it wrote, so it is not checked.
  FlushINI "$INSTDIR\config.ini"
  !insertmacro STATUS "Progress=0.8"

  ClearErrors
  WriteUninstaller "$INSTDIR\uninst.ep"
  ${If} ${Errors}
    !insertmacro FAIL "cannot write uninst.ep"
  ${EndIf}
  !insertmacro STATUS "Progress=1"

  !insertmacro STATUS "InstallVersion=${PRODUCT_VERSION}"
  !insertmacro STATUS "InstPath=$INSTDIR"
  !insertmacro STATUS "ExePath=$INSTDIR\RadidaZezuzadi.exe"
  !insertmacro STATUS "UninstEp=$INSTDIR\uninst.ep"
  !insertmacro STATUS "StartupStyle=NonStartup"
  !insertmacro STATUS "State=Success"
SectionEnd

Section "Uninstall"
  !insertmacro UN_STATUS "Encode=UTF8"
  !insertmacro UN_STATUS "Progress=0.5"
  Delete "$INSTDIR\RadidaZezuzadi.exe"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\pelnix-data.bin"
  Delete "$INSTDIR\set.ini"
  ; Run from a copy (_?=), so our own file in the folder can go too.
  Delete "$INSTDIR\uninst.ep"
  RMDir "$INSTDIR"
  ${If} ${FileExists} "$INSTDIR\RadidaZezuzadi.exe"
    !insertmacro UN_STATUS "Error=cannot delete RadidaZezuzadi.exe"
    SetErrorLevel 2
    Quit
  ${EndIf}
  !insertmacro UN_STATUS "Progress=1"
  !insertmacro UN_STATUS "State=Success"
SectionEnd
