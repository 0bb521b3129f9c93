# Runs makensis on packaging/kestrad.nsi. Two callers:
#
# - the kestrad_installer build target, in script mode:
#     cmake -DKESTRAD_MAKENSIS=... -DKESTRAD_NSI=... -DKESTRAD_ARCH=win64
#           -DKESTRAD_VERSION=<version> -DKESTRAD_OUTFILE=<setup.exe>
#           -DKESTRAD_EXE_NAME=<program file> -DKESTRAD_LIBRARY_NAME=<library file>
#           -DKESTRAD_NAME=<name shown> -DKESTRAD_PRODUCT=<folder name>
#           -DKESTRAD_PUBLISHER=<maker>
#           -DKESTRAD_EXE=<built program> -DKESTRAD_DLL=<built library>
#           -DKESTRAD_LICENSE=<LICENSE> -DKESTRAD_MACHINES=<batch file>
#           -P packaging/makensis.cmake
#   The files are copied into a scratch folder first, since the script takes
#   them all from one folder.
#
# - cpack's External generator (CPACK_EXTERNAL_PACKAGE_SCRIPT): the install
#   rules have staged the files in CPACK_TEMPORARY_DIRECTORY; the settings
#   come from CPACK_KESTRAD_* in the CPack configuration.

if(CPACK_TEMPORARY_DIRECTORY)
  set(makensis "${CPACK_KESTRAD_MAKENSIS}")
  set(nsi "${CPACK_KESTRAD_NSI}")
  set(arch "${CPACK_KESTRAD_ARCH}")
  set(version "${CPACK_PACKAGE_VERSION}")
  set(exe "${CPACK_KESTRAD_EXE_NAME}")
  set(library "${CPACK_KESTRAD_LIBRARY_NAME}")
  set(name "${CPACK_KESTRAD_NAME}")
  set(product "${CPACK_KESTRAD_PRODUCT}")
  set(publisher "${CPACK_PACKAGE_VENDOR}")
  set(srcdir "${CPACK_TEMPORARY_DIRECTORY}")
  set(outfile "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_KESTRAD_SETUP_NAME}")
  set(machines "${CPACK_KESTRAD_MACHINES_NAME}")
else()
  foreach(v KESTRAD_MAKENSIS KESTRAD_NSI KESTRAD_ARCH KESTRAD_VERSION KESTRAD_OUTFILE
         KESTRAD_EXE_NAME KESTRAD_LIBRARY_NAME KESTRAD_NAME KESTRAD_PRODUCT KESTRAD_PUBLISHER
         KESTRAD_EXE KESTRAD_DLL KESTRAD_LICENSE)
    if(NOT DEFINED ${v})
      message(FATAL_ERROR "makensis.cmake: ${v} is not set")
    endif()
  endforeach()
  set(makensis "${KESTRAD_MAKENSIS}")
  set(nsi "${KESTRAD_NSI}")
  set(arch "${KESTRAD_ARCH}")
  set(version "${KESTRAD_VERSION}")
  set(exe "${KESTRAD_EXE_NAME}")
  set(library "${KESTRAD_LIBRARY_NAME}")
  set(name "${KESTRAD_NAME}")
  set(product "${KESTRAD_PRODUCT}")
  set(publisher "${KESTRAD_PUBLISHER}")
  set(outfile "${KESTRAD_OUTFILE}")
  set(srcdir "${KESTRAD_OUTFILE}.files")
  file(REMOVE_RECURSE "${srcdir}")
  file(MAKE_DIRECTORY "${srcdir}")
  file(COPY "${KESTRAD_EXE}" "${KESTRAD_DLL}" "${KESTRAD_LICENSE}" DESTINATION "${srcdir}")
  if(NOT DEFINED KESTRAD_MACHINES)
    message(FATAL_ERROR "makensis.cmake: KESTRAD_MACHINES is not set")
  endif()
  file(COPY "${KESTRAD_MACHINES}" DESTINATION "${srcdir}")
  get_filename_component(machines "${KESTRAD_MACHINES}" NAME)
endif()

foreach(f ${exe} ${library} LICENSE ${machines})
  if(NOT EXISTS "${srcdir}/${f}")
    message(FATAL_ERROR "makensis.cmake: ${srcdir}/${f} is missing")
  endif()
endforeach()

get_filename_component(outdir "${outfile}" DIRECTORY)
file(MAKE_DIRECTORY "${outdir}")
execute_process(
  COMMAND "${makensis}" -V2 -NOCD
          "-DARCH=${arch}" "-DVERSION=${version}" "-DSRCDIR=${srcdir}" "-DOUTFILE=${outfile}"
          "-DEXE=${exe}" "-DLIBRARY=${library}"
          "-DPRODUCT=${name}" "-DFOLDER=${product}" "-DPUBLISHER=${publisher}"
          "-DMACHINES=${machines}"
          "${nsi}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "makensis failed (${rc}) on ${nsi}")
endif()

if(CPACK_TEMPORARY_DIRECTORY)
  set(CPACK_EXTERNAL_BUILT_PACKAGES "${outfile}")
else()
  file(REMOVE_RECURSE "${srcdir}")
endif()
