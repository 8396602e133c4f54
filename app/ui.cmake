# The windows (ovela_ui) and the program itself.
add_library(ovela_ui STATIC
  platform/twips.h
  platform/videosurface.cpp platform/videosurface.h
  shell/pictures.cpp shell/pictures.h
  shell/toolwindow.h
  shell/toolbarbutton.cpp shell/toolbarbutton.h
  shell/frmmain.cpp shell/frmmain.h
  shell/frmmessage.cpp shell/frmmessage.h
  shell/frmoptions.cpp shell/frmoptions.h
  shell/shell.cpp shell/shell.h
  shell/scripteduser.cpp shell/scripteduser.h
  calls/frmcallin.cpp calls/frmcallin.h
  calls/frmconstatus.cpp calls/frmconstatus.h
  calls/frmself.cpp calls/frmself.h
  directory/frmlog.cpp directory/frmlog.h
  directory/frmdirectory.cpp directory/frmdirectory.h
  messaging/frmnewchat.cpp messaging/frmnewchat.h
)
target_link_libraries(ovela_ui PUBLIC ovela_core Qt6::Widgets)
ovela_warnings(ovela_ui)

add_executable(ovela main.cpp)
target_link_libraries(ovela PRIVATE ovela_ui)
set_target_properties(ovela PROPERTIES BUILD_RPATH "$ORIGIN;$ORIGIN/../lib" INSTALL_RPATH "$ORIGIN;$ORIGIN/../lib")
ovela_warnings(ovela)
install(TARGETS ovela RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ovela OPTIONAL)
