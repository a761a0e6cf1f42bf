# Installing the kit: headers, static libraries, the tools and the demo under
# the usual prefixes, a CMake package (find_package(kvKIT) gives kvKIT::kit,
# kvKIT::launcher, ...) and a pkg-config file (kvkit).
#
# Static libraries only. The layers find each other through registrations made
# by static initialisers (cmake/README.md), the API is plain records whose
# layout a shared library would have to keep stable, and the launcher's main()
# must come from an archive so that a program with its own main() still links.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KV_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/kvKIT)
set(KV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kvKIT)
set(KV_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kvKIT)

# Every layer's public headers, at their paths from the repository root, so
# "platform/d3d/d3d.h" reads the same against the installed kit.
get_property(kv_layers GLOBAL PROPERTY KV_LAYERS)
foreach(layer ${kv_layers})
  target_include_directories(${layer} PUBLIC $<INSTALL_INTERFACE:${KV_INSTALL_INCLUDEDIR}>)
  get_target_property(headers ${layer} KV_PUBLIC_HEADERS)
  if(headers)
    foreach(header ${headers})
      get_filename_component(dir ${header} DIRECTORY)
      install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${KV_INSTALL_INCLUDEDIR}/${dir})
    endforeach()
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/include/kvKIT.h DESTINATION ${KV_INSTALL_INCLUDEDIR})

# A program's texts meet the kit's: the kit is compiled with CP949 literals
# (under GCC), so a program built against the installed kit gets the same
# option, and its Korean literals reach the kit as the kit's own do.
if(KV_TEXT_CP949)
  target_compile_options(kvkit INTERFACE
    $<INSTALL_INTERFACE:$<$<COMPILE_LANG_AND_ID:CXX,GNU>:-fexec-charset=CP949>>)
endif()
target_compile_features(kvkit INTERFACE cxx_std_20)

install(TARGETS ${kv_layers} kvgen kvinfo EXPORT kvKITTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kvconv kvview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT kvKITTargets NAMESPACE kvKIT:: DESTINATION ${KV_INSTALL_CMAKEDIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kvKITConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kvKITConfig.cmake INSTALL_DESTINATION ${KV_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvKITConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvKITConfig.cmake ${PROJECT_BINARY_DIR}/kvKITConfigVersion.cmake
  DESTINATION ${KV_INSTALL_CMAKEDIR})

# pkg-config: the kit with the launcher and both hosts, libraries in link
# order, then what the layers use privately (static libraries carry no
# dependencies of their own).
set(KV_PC_CFLAGS "-DKV_TEXT_CP949=${KV_TEXT_CP949}")
if(KV_TEXT_CP949)
  string(APPEND KV_PC_CFLAGS " -fexec-charset=CP949")
endif()
list(TRANSFORM SDL2_LIBRARIES PREPEND -l OUTPUT_VARIABLE KV_PC_SDL2)
list(TRANSFORM IMGUI_LIBRARIES PREPEND -l OUTPUT_VARIABLE KV_PC_IMGUI)
list(JOIN KV_PC_SDL2 " " KV_PC_SDL2)
list(JOIN KV_PC_IMGUI " " KV_PC_IMGUI)
# The prefix is found from the file's own place, so the kit can be installed
# anywhere (cmake --install --prefix) and still be found.
file(RELATIVE_PATH KV_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KV_PC_PREFIX "${KV_PC_PREFIX}")
set(KV_PC_LIBS "-lkvlauncher -lkventry -lkvkit -lkvhost_sdl -lkvhost_headless -lkvgl -lkvd3d")
string(APPEND KV_PC_LIBS " -lkvddraw -lkvraster -lkvwin ${KV_PC_IMGUI} ${KV_PC_SDL2} -lX11 -lOpenGL -lEGL -lz")
string(APPEND KV_PC_LIBS " -lhwy -lpthread")
configure_file(${CMAKE_CURRENT_LIST_DIR}/kvkit.pc.in ${PROJECT_BINARY_DIR}/kvkit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The demonstration and its data; the launcher looks for the data in
# share/kvKIT/<program> when there is no data/ folder beside the program.
install(TARGETS kvdemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${KV_DEMO_DATA_DIR}/ DESTINATION ${KV_INSTALL_DATADIR}/kvdemo)
