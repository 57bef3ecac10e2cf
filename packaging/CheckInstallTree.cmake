# Installs the build into a fresh prefix and checks the tree a desktop needs:
# the program (it runs), the desktop entry, the icons at their sizes, the
# metainfo, the scenario file type (the MIME database takes it) and the guide.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(share "${PREFIX}/share")
foreach(f bin/sonavir share/applications/${APP_ID}.desktop share/metainfo/${APP_ID}.metainfo.xml
          share/mime/packages/${APP_ID}.xml share/icons/hicolor/scalable/apps/${APP_ID}.svg
          share/sonavir/guide.html)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing from the installed tree: ${f}")
  endif()
endforeach()

execute_process(COMMAND "${PREFIX}/bin/sonavir" --version OUTPUT_VARIABLE version RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT version MATCHES "build 242")
  message(FATAL_ERROR "the installed program does not run: ${rc} ${version}")
endif()

# A PNG's header holds its width and height as big-endian words at 16 and 20.
foreach(size 48 256)
  set(png "${share}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "missing icon: ${png}")
  endif()
  file(READ "${png}" head LIMIT 24 HEX)
  math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${head}" 32 16 dims)
  string(REGEX REPLACE "^0x" "" want "${want}")
  string(LENGTH "${want}" n)
  math(EXPR pad "8 - ${n}")
  string(REPEAT "0" ${pad} zeros)
  if(NOT dims STREQUAL "${zeros}${want}${zeros}${want}")
    message(FATAL_ERROR "${png} is not ${size} x ${size}: ${dims}")
  endif()
endforeach()

file(READ "${share}/icons/hicolor/scalable/apps/${APP_ID}.svg" svg)
if(NOT svg MATCHES "<svg" OR NOT svg MATCHES "viewBox=\"0 0 32 32\"")
  message(FATAL_ERROR "the SVG icon is not a 32 x 32 drawing")
endif()

file(READ "${share}/applications/${APP_ID}.desktop" desktop)
if(NOT desktop MATCHES "Icon=${APP_ID}\n" OR NOT desktop MATCHES "MimeType=application/x-sonavir-scenario;")
  message(FATAL_ERROR "the desktop entry does not name the icon and the scenario type")
endif()

# The MIME database must take the type and map *.svr to it.
execute_process(COMMAND update-mime-database "${share}/mime" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR err MATCHES "rror")
  message(FATAL_ERROR "update-mime-database: ${rc} ${err}")
endif()
file(READ "${share}/mime/globs2" globs)
if(NOT globs MATCHES "application/x-sonavir-scenario:\\*\\.svr")
  message(FATAL_ERROR "*.svr is not mapped to the scenario type")
endif()
