# The module's sources, listed once for the Linux build (module/CMakeLists.txt) and the Windows
# parity build (windows/module/CMakeLists.txt), as paths relative to module/.
#
# The Qt-free part builds for Windows too. The rest needs Qt (QString paths, QFile, the DOM):
# files/, operations/, host/MethodTable.cpp (the table and its payload entries 3 to 6) and
# driver/Identification.cpp (F4 to F7 resolve the paths first).
set(NORN_MODULE_QT_FREE_SOURCES
    errors/Checks.cpp
    errors/ErrorFrame.cpp
    errors/ExceptionError.cpp
    errors/Strings.cpp
    rot/ROTAccess.cpp
    reports/ErrorReport.cpp
    driver/BlockImage.cpp
    driver/DeferredCommit.cpp
    driver/DriverAccess.cpp
    driver/EEPROMAccessors.cpp
    host/TableEntries.cpp
)
set(NORN_MODULE_QT_SOURCES
    driver/Identification.cpp
    files/DataFilePaths.cpp
    files/PayloadFiles.cpp
    files/ServiceDataDocument.cpp
    operations/Backup.cpp
    operations/PayloadTransfer.cpp
    operations/Restore.cpp
    operations/ServiceDataErase.cpp
    host/MethodTable.cpp
)
# The exports, built once: the loadable module, the reliability tests and the fuzz targets link
# the same objects.
set(NORN_MODULE_EXPORT_SOURCES host/Exports.cpp)
