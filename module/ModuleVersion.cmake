# The module's version resource: its one definition, read by module/CMakeLists.txt (an ELF
# section of Brightwork_Norn.so) and by the Windows build (a VERSIONINFO resource made by
# windres). NORN_MODULE_VERSION_STRINGS are the "Key=Value" texts of the 040904B0 string table.
set(NORN_MODULE_FILE_VERSION 2.60.100.0)
set(NORN_MODULE_FILE_TYPE DLL)
set(NORN_MODULE_VERSION_STRINGS
    "FileDescription=Brightwork Module"
    "InternalName=Brightwork"
    "OriginalFilename=Brightwork.dll"
    "FileVersion=${NORN_MODULE_FILE_VERSION}"
    "ProductName=Brightwork"
    "ProductVersion=${NORN_MODULE_FILE_VERSION}")
