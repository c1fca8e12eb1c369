# Include folders that keep the layers apart, and the precompiled headers.

# vrax_layer(<target> [<folder>]): the library's include folder holds only its
# own source folder (default: the folder named like the target), under the
# name the code includes it by ("sensor/VRAXSensor.h"). What it may use of
# the layers below comes through the libraries it links, so including a
# layer it does not link fails to build.
function(vrax_layer target)
  set(folder ${target})
  if(ARGC GREATER 1)
    set(folder ${ARGV1})
  endif()
  set(root ${PROJECT_BINARY_DIR}/layers/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# vrax_pch(<target> [QT] [WIDGETS] [TEST]): precompiles the standard headers,
# and Qt's and GoogleTest's most used ones, once per target.
function(vrax_pch target)
  cmake_parse_arguments(P "QT;WIDGETS;TEST" "" "" ${ARGN})
  set(headers <string> <vector> <memory> <functional> <map> <cstdint>)
  if(P_QT OR P_WIDGETS)
    list(APPEND headers <QObject> <QString> <QByteArray> <QTimer> <QList>)
  endif()
  if(P_WIDGETS)
    list(APPEND headers <QWidget>)
  endif()
  if(P_TEST)
    list(APPEND headers <gtest/gtest.h> <gmock/gmock.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
