# Install rules and the two Debian packages (./zub package, or `cpack -G DEB` in the build folder):
#   zub-server  /usr/bin/zub-server and the library it shares with the client in /usr/lib/zub-server
#               (RPATH $ORIGIN/../lib/zub-server), the systemd unit, /etc/zub/server.ini, the layouts whose
#               queries it runs in /usr/share/zub-server/reports; postinst adds the system user zub
#               and a token
#   zub-client  /usr/bin/zub-client; the host libraries and the modules in /usr/lib/zub (found
#               through RPATH $ORIGIN); the layouts in /usr/share/zub/reports; the help pages in
#               /usr/share/zub/help; a desktop entry
# The client finds its parts relative to itself: src/host/services/programfolders.h.
set(zub_host_libraries zubshared zubdata zubwork zubnet zubreport zubservices zubwidgets zubhost)
set_target_properties(zub-client PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/zub")
set_target_properties(${zub_host_libraries} PKG_ZUB01100 PROPERTIES INSTALL_RPATH "$ORIGIN")

set_target_properties(zub-server PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/zub-server")
install(TARGETS zub-server RUNTIME DESTINATION bin COMPONENT server)
# Each package carries its own copy, so either installs alone.
install(TARGETS zubshared LIBRARY DESTINATION lib/zub-server COMPONENT server)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zub-server.service DESTINATION /lib/systemd/system COMPONENT server)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/server.ini DESTINATION /etc/zub COMPONENT server)
# The server runs the layouts' queries; the client shows the layouts. A path of each package's own,
# so both can be installed on one machine.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/reports/ DESTINATION share/zub-server/reports COMPONENT server)
# The reference configuration of a central on several machines (README "A central on several machines").
install(FILES ${CMAKE_CURRENT_LIST_DIR}/cluster/etcd.yml.in ${CMAKE_CURRENT_LIST_DIR}/cluster/patroni.yml.in
              ${CMAKE_CURRENT_LIST_DIR}/cluster/haproxy.cfg.in ${CMAKE_CURRENT_LIST_DIR}/cluster/haproxy.state.in
        DESTINATION share/doc/zub-server/cluster COMPONENT server)

install(TARGETS zub-client RUNTIME DESTINATION bin COMPONENT client)
install(TARGETS ${zub_host_libraries} PKG_ZUB01100 LIBRARY DESTINATION lib/zub COMPONENT client)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/reports/ DESTINATION share/zub/reports COMPONENT client)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/help/ DESTINATION share/zub/help COMPONENT client)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zub-client.desktop DESTINATION share/applications COMPONENT client)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zub-client.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT client)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe zub <zub@localhost>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL server client)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Dependencies on shared libraries come from dpkg-shlibdeps; the SQL drivers and platform
# plugins Qt loads at run time are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME zub-server)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "Servidor de aplicação do relatório Custo Planejado X Realizado\n zub-server atende o cliente zub-client em JSON-RPC sobre HTTP, em SQLite ou PostgreSQL,\n como serviço do systemd com usuário próprio.")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/server/postinst ${CMAKE_CURRENT_LIST_DIR}/server/prerm
    ${CMAKE_CURRENT_LIST_DIR}/server/postrm ${CMAKE_CURRENT_LIST_DIR}/server/conffiles)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME zub-client)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "Cliente do relatório Custo Planejado X Realizado\n zub-client com a tela Custo Planejado X Realizado (módulo PKG_ZUB01100), os layouts do\n relatório e o modo lote.")
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, qt6-qpa-plugins")
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "qt6-translations-l10n")

include(CPack)
