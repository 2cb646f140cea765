# asio is header-only (Debian's libasio-dev). The cross compiler must not see the
# rest of /usr/include, so it gets a folder holding a copy of asio's headers only.
# A copy, not links: whatever deletes a build folder (a Windows program under
# Wine follows links when it deletes a folder tree) must never reach the system.
set(QILARK_ASIO_INCLUDE ${CMAKE_BINARY_DIR}/asio-include)
foreach(entry asio.hpp asio)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/setup (libasio-dev)")
  endif()
  if(IS_SYMLINK ${QILARK_ASIO_INCLUDE}/${entry})
    file(REMOVE ${QILARK_ASIO_INCLUDE}/${entry})
  endif()
endforeach()
file(COPY /usr/include/asio.hpp /usr/include/asio DESTINATION ${QILARK_ASIO_INCLUDE})

add_library(asio INTERFACE)
target_include_directories(asio SYSTEM INTERFACE ${QILARK_ASIO_INCLUDE})
target_compile_definitions(asio INTERFACE ASIO_STANDALONE)
if(WIN32)
  target_link_libraries(asio INTERFACE ws2_32 mswsock)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(asio INTERFACE Threads::Threads)
endif()
