# Builds the Windows Installer package from packaging/kestrad.wxs with wixl
# (msitools), in script mode, for the kestrad_msi target:
#   cmake -DKESTRAD_WIXL=... -DKESTRAD_MSIBUILD=... -DKESTRAD_MSIINFO=...
#         -DKESTRAD_WXS=<kestrad.wxs>
#         -DKESTRAD_ARCH=win32|win64 -DKESTRAD_VERSION=<version> -DKESTRAD_NAME=<name shown>
#         -DKESTRAD_PRODUCT=<folder name> -DKESTRAD_MANUFACTURER=... -DKESTRAD_WEBSITE=...
#         -DKESTRAD_EXE_NAME=<program file> -DKESTRAD_LIBRARY_NAME=<library file>
#         -DKESTRAD_EXE=<built program> -DKESTRAD_DLL=<built library>
#         -DKESTRAD_README=<README.md> -DKESTRAD_LICENSE=<LICENSE>
#         -DKESTRAD_MACHINES=<kestrad-machines.cmd>
#         -DKESTRAD_OUTFILE=<package.msi> [-DKESTRAD_README_NOTE=<line>]
#         -P packaging/msi.cmake
# KESTRAD_README_NOTE, a line added to the packaged README.md, tells a test
# package's files from the real one's.
#
# wixl 0.101 (Debian 12) takes files only by paths relative to where it runs,
# so the files are copied into a scratch folder first. Two things of the
# package it cannot write at all; msibuild puts them into its tables after:
# - the condition of the CheckAtLogon component (wixl has no Condition
#   element in a Component);
# - the upper bound of the same-version upgrade row (wixl drops
#   IncludeMaximum, which leaves the range from the version to itself empty);
# - the LockPermissions table, which locks the install folder (wixl has no
#   Permission element).
# - the short name of a file whose name is not 8.3 (wixl writes the long name
#   alone, where Windows Installer reads a file name as "short|long").

foreach(v KESTRAD_WIXL KESTRAD_MSIBUILD KESTRAD_MSIINFO KESTRAD_WXS KESTRAD_ARCH KESTRAD_VERSION KESTRAD_NAME
       KESTRAD_PRODUCT KESTRAD_MANUFACTURER KESTRAD_WEBSITE KESTRAD_EXE_NAME KESTRAD_LIBRARY_NAME
       KESTRAD_EXE KESTRAD_DLL KESTRAD_README KESTRAD_LICENSE KESTRAD_OUTFILE
       KESTRAD_MACHINES)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "msi.cmake: ${v} is not set")
  endif()
endforeach()

if(KESTRAD_ARCH STREQUAL "win64")
  set(wixl_arch x64)
else()
  set(wixl_arch x86)
endif()

set(stage "${KESTRAD_OUTFILE}.files")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY_FILE "${KESTRAD_EXE}" "${stage}/${KESTRAD_EXE_NAME}")
file(COPY_FILE "${KESTRAD_DLL}" "${stage}/${KESTRAD_LIBRARY_NAME}")
file(COPY_FILE "${KESTRAD_README}" "${stage}/README.md")
file(COPY_FILE "${KESTRAD_LICENSE}" "${stage}/LICENSE")
get_filename_component(machines_name "${KESTRAD_MACHINES}" NAME)
file(COPY_FILE "${KESTRAD_MACHINES}" "${stage}/${machines_name}")
if(KESTRAD_README_NOTE)
  file(APPEND "${stage}/README.md" "\n${KESTRAD_README_NOTE}\n")
endif()

get_filename_component(outdir "${KESTRAD_OUTFILE}" DIRECTORY)
file(MAKE_DIRECTORY "${outdir}")
file(REMOVE "${KESTRAD_OUTFILE}")
execute_process(
  COMMAND "${KESTRAD_WIXL}" -a ${wixl_arch} -o "${KESTRAD_OUTFILE}"
          -D "Arch=${KESTRAD_ARCH}" -D "Version=${KESTRAD_VERSION}" -D "Name=${KESTRAD_NAME}"
          -D "Folder=${KESTRAD_PRODUCT}"
          -D "Manufacturer=${KESTRAD_MANUFACTURER}" -D "Website=${KESTRAD_WEBSITE}"
          -D "ExeName=${KESTRAD_EXE_NAME}" -D "LibraryName=${KESTRAD_LIBRARY_NAME}"
          -D "MachinesName=${machines_name}"
          "${KESTRAD_WXS}"
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE rc
  ERROR_VARIABLE errors)
# wixl warns of attributes it does not know and goes on; any such warning
# means the source asks for something the package will not have.
if(NOT rc EQUAL 0 OR errors MATCHES "WARNING|CRITICAL")
  file(REMOVE "${KESTRAD_OUTFILE}")
  message(FATAL_ERROR "wixl failed (${rc}) on ${KESTRAD_WXS}:\n${errors}")
endif()

function(kestrad_msi_query query)
  execute_process(COMMAND "${KESTRAD_MSIBUILD}" "${KESTRAD_OUTFILE}" -q "${query}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    file(REMOVE "${KESTRAD_OUTFILE}")
    message(FATAL_ERROR "msibuild failed (${rc}) on ${KESTRAD_OUTFILE}: ${query}\n${out}")
  endif()
endfunction()

# The start-up check only when asked for and only for a folder under Program
# Files (system folder properties end in a backslash, so C:\Program Files
# Extra\ is not taken for C:\Program Files\). Before the folders are resolved
# INSTALLDIR is unset unless given, and then the default is meant. A component
# whose condition is false is left where it is on removal too; it holds then,
# as the installed entry sets CHECKATLOGON (KeepCheckAtLogon in kestrad.wxs).
set(check_at_logon_condition
  "CHECKATLOGON = 1 AND (NOT INSTALLDIR OR INSTALLDIR ~<< ProgramFilesFolder OR (ProgramFiles64Folder AND INSTALLDIR ~<< ProgramFiles64Folder))")
kestrad_msi_query(
  "UPDATE `Component` SET `Condition` = '${check_at_logon_condition}' WHERE `Component` = 'CheckAtLogon'")

# The same version again (a rebuilt package has a new ProductCode) replaces
# the installed one instead of going beside it: the row from the version to
# the version, both included. The Upgrade table's key holds Attributes, so
# the row is written anew.
set(same_version WIX_SAME_VERSION_UPGRADE_DETECTED)
# msidbUpgradeAttributesMigrateFeatures | ...VersionMinInclusive | ...VersionMaxInclusive
set(attributes 769)
execute_process(COMMAND "${KESTRAD_MSIINFO}" export "${KESTRAD_OUTFILE}" Property
                OUTPUT_VARIABLE properties RESULT_VARIABLE rc)
string(REGEX MATCH "\nUpgradeCode\t([^\r\n]+)" upgrade_code "${properties}")
if(NOT rc EQUAL 0 OR NOT CMAKE_MATCH_1)
  message(FATAL_ERROR "msi.cmake: no UpgradeCode in ${KESTRAD_OUTFILE}")
endif()
set(upgrade_code ${CMAKE_MATCH_1})
kestrad_msi_query("DELETE FROM `Upgrade` WHERE `ActionProperty` = '${same_version}'")
kestrad_msi_query(
  "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('${upgrade_code}', '${KESTRAD_VERSION}', '${KESTRAD_VERSION}', ${attributes}, '${same_version}')")

# The install folder, wherever INSTALLDIR points, gets exactly this access
# list in place of the inherited one (the CreateFolders action writes it; the
# files laid into it get none of their own): Administrators full control,
# everyone else read and execute. So no one but an administrator can put a DLL
# beside the program that start-up scripts and the start-up check run as SYSTEM
# or an administrator. Windows Installer adds LocalSystem with full control to
# every list it writes from this table, and maps only "Everyone" and
# "Administrators" to their SIDs whatever the language of Windows: any other
# name, "Users" or "SYSTEM" among them, must be the localized one, and the
# install fails (error 1609) where it is unknown. GENERIC_READ is refused here,
# so read and execute are given as the file rights.
kestrad_msi_query(
  "CREATE TABLE `LockPermissions` (`LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, `Domain` CHAR(255), `User` CHAR(255) NOT NULL, `Permission` LONG PRIMARY KEY `LockObject`, `Table`, `Domain`, `User`)")
set(lock "INSERT INTO `LockPermissions` (`LockObject`, `Table`, `User`, `Permission`) VALUES ('INSTALLDIR', 'CreateFolder'")
# GENERIC_ALL (0x10000000)
kestrad_msi_query("${lock}, 'Administrators', 268435456)")
# FILE_GENERIC_READ | FILE_GENERIC_EXECUTE (0x00120089 | 0x001200A0)
kestrad_msi_query("${lock}, 'Everyone', 1179817)")

# The batch file's name is longer than 8.3: its short name, from the first six
# letters or digits of its name, as Windows would make it.
get_filename_component(machines_stem "${machines_name}" NAME_WE)
get_filename_component(machines_ext "${machines_name}" LAST_EXT)
string(REGEX REPLACE "[^A-Za-z0-9]" "" short_stem "${machines_stem}")
string(SUBSTRING "${short_stem}" 0 6 short_stem)
string(SUBSTRING "${machines_ext}" 0 4 short_ext)
string(TOUPPER "${short_stem}~1${short_ext}" machines_short)
kestrad_msi_query(
  "UPDATE `File` SET `FileName` = '${machines_short}|${machines_name}' WHERE `File` = 'MachinesFile'")

file(REMOVE_RECURSE "${stage}")
