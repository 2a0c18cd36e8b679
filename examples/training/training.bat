@echo off
rem Zorv Posetta training: the program on a copy of the demo site, with the
rem virtual arm playing one exercise (the training package,
rem ZorvPosetta-VERSION-win64-training.zip or -win32-training.zip).
rem
rem   training.bat                    lists the exercises
rem   training.bat EXERCISE [FOLDER]  runs one in this console window
rem
rem FOLDER holds the copy of the demo site (default: training-site beside this
rem file; a relative name is taken from the current directory). "calibrate"
rem and "fresh" copy the demo site there afresh; the others go on with the
rem copy the previous exercise left, or make one when there is none. Only a
rem folder this launcher made (it holds training-site.txt) or an empty one is
rem ever replaced. The program runs with ALLUSERSPROFILE pointing at FOLDER,
rem the virtual arm (bin\FaroArmUsbWrapper.dll) playing the scenario
rem ZORV_ARMSIM_SCENARIO names, and FOLDER as its working directory, so that
rem files named at its prompts land there too.
setlocal EnableExtensions DisableDelayedExpansion
set "HERE=%~dp0"
set "EXERCISE=%~1"
set "MARKER=training-site.txt"
set "POSE=875 100 110 0 180 0"

if "%EXERCISE%"=="" goto list
set "SCENARIO="
set "FRESH=0"
if /i "%EXERCISE%"=="calibrate" set "SCENARIO=%HERE%scenarios\calibrate.scenario"
if /i "%EXERCISE%"=="calibrate" set "FRESH=1"
if /i "%EXERCISE%"=="test" set "SCENARIO=%HERE%scenarios\test.scenario"
if /i "%EXERCISE%"=="relocate" set "SCENARIO=%HERE%scenarios\relocate.scenario"
if /i "%EXERCISE%"=="demo" set "SCENARIO=%HERE%scenarios\demo.scenario"
if /i "%EXERCISE%"=="drive" set "SCENARIO=drive"
if /i "%EXERCISE%"=="fresh" set "SCENARIO=none"
if /i "%EXERCISE%"=="fresh" set "FRESH=1"
if not defined SCENARIO goto unknown

set "SITE=%~2"
if "%SITE%"=="" set "SITE=%HERE%training-site"
for %%I in ("%SITE%") do set "SITE=%%~fI"
set "APPDATA_DIR=%SITE%\Application Data\Kestrel Ward\Velloran 2"
if not exist "%APPDATA_DIR%\WinVLPosetta.ini" set "FRESH=1"
if not "%FRESH%"=="1" goto copied
call :fresh_copy
if errorlevel 1 exit /b 1
:copied
if /i "%EXERCISE%"=="fresh" goto done_fresh
if /i not "%EXERCISE%"=="drive" goto start_program
call :prepare_drive
if errorlevel 1 exit /b 1

:start_program

set "ALLUSERSPROFILE=%SITE%"
set "ZORV_ARMSIM_SCENARIO=%SCENARIO%"
pushd "%SITE%"
if errorlevel 1 exit /b 1
"%HERE%bin\ZorvPosetta.exe"
set "STATUS=%ERRORLEVEL%"
popd
endlocal & exit /b %STATUS%

:done_fresh
echo A fresh copy of the demo site is in %SITE%.
exit /b 0

rem A fresh copy of the demo site in SITE. A folder that is there already is
rem replaced only when this launcher made it or it is empty.
:fresh_copy
if not exist "%SITE%\" goto copy_site
if exist "%SITE%\%MARKER%" goto remove_site
set "OCCUPIED="
for /f "delims=" %%F in ('dir /b /a "%SITE%" 2^>nul') do set "OCCUPIED=1"
if not defined OCCUPIED goto remove_site
echo %SITE% holds other files and no %MARKER%: it is not a training folder.
echo Name an empty or new folder: training.bat %EXERCISE% FOLDER
exit /b 1
:remove_site
rmdir /s /q "%SITE%"
if not exist "%SITE%\" goto copy_site
echo Cannot remove the old copy in %SITE%: is a program still using it?
exit /b 1
:copy_site
mkdir "%SITE%"
if not exist "%SITE%\" goto copy_failed
xcopy "%HERE%demo-site" "%SITE%" /e /i /q /y >nul
if errorlevel 1 goto copy_failed
> "%SITE%\%MARKER%" echo A copy of the Zorv Posetta demo site made by training.bat. "training.bat calibrate" replaces this folder with a fresh copy.
exit /b 0
:copy_failed
echo Cannot copy the demo site into %SITE%.
exit /b 1

rem Driving: the demo arm P08-08-1234, whose psi correction the site stores,
rem at rest 50 mm above the middle of the Skin panel, pointing down; then the
rem arm follows the channel the arm panel writes to, in a second window.
:prepare_drive
set "CHANNEL=%SITE%\arm-live.txt"
set "WIZARD=%APPDATA_DIR%\vl2_settings"
set "SCENARIO=%SITE%\drive.scenario"
> "%SCENARIO%" echo serial P08-08-1234
>> "%SCENARIO%" echo live %CHANNEL%
> "%CHANNEL%" echo record %POSE%
start "Zorv arm panel" "%HERE%bin\zorv-arm-panel.exe" --channel "%CHANNEL%" --wizard "%WIZARD%" --region "%WIZARD%\parts\01_Wing\02_Skin\Skin.qini" --pose %POSE%
echo The arm panel runs in the other window: its keys move the probe and click (q leaves it).
exit /b 0

:unknown
echo Unknown exercise "%EXERCISE%".
echo.
call :usage
exit /b 2

:list
call :usage
exit /b 0

:usage
echo Zorv Posetta @PROJECT_VERSION@ training: the program on a copy of the demo site, with the
echo virtual arm playing an exercise. Run the exercises in this order:
echo.
echo   training.bat calibrate   1. calibrate the demo parts (on a fresh copy of the demo site)
echo   training.bat test        2. test the calibrated Skin panel live
echo   training.bat relocate    3. another arm takes over: reuse, reset and clean calibrations
echo   training.bat drive       drive the probe by hand with the arm panel (a second window)
echo   training.bat demo        the demo arm: Test arm and Calculate psi zero degree
echo   training.bat fresh       only a fresh copy of the demo site
echo.
echo A second argument names the folder for the copy of the demo site (default:
echo training-site beside training.bat), e.g. training.bat calibrate D:\Training.
echo test, relocate, drive and demo go on with the copy the last exercise left.
echo Menu entry 16 leaves the program. "Training" in TECHNICIAN.md tells what to type.
exit /b 0
