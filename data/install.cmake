# What an installed machine gets (the Debian package installs with these rules): the program
# and its tools in the Application folder, the texts as shipped under share/typelab (the
# package copies them into the store service's folder, where the program finds them through
# links), the store service's D-Bus policy, activation file and interface, the desktop entry and the
# Samba share a lab serves for network collection.
include(GNUInstallDirs)
install(TARGETS typelab typelab-admin typelab-reader typelab-store typelab-forward typelab-charts DESTINATION ${TYPELAB_INSTALLED_APP_FOLDER})
install(DIRECTORY ${TYPELAB_APP_DIR}/yw ${TYPELAB_APP_DIR}/zw DESTINATION ${CMAKE_INSTALL_DATADIR}/typelab
  FILES_MATCHING PATTERN "*.dat")
install(FILES ${TYPELAB_APP_DIR}/data/help.dat DESTINATION ${CMAKE_INSTALL_DATADIR}/typelab/data)
install(FILES data/dbus/org.typelab.Store.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
install(FILES data/dbus/org.typelab.Store.service data/dbus/org.typelab.Forward.service
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system-services)
# The store's interface, where busctl, qdbus and d-spy look for what a service offers.
install(FILES data/dbus/org.typelab.Store1.xml data/dbus/org.typelab.Outbox1.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)
install(FILES data/typelab.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/typelab.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES docs/samba-typelab.conf DESTINATION ${CMAKE_INSTALL_DOCDIR})
