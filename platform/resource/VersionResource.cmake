# norn_add_version_resource(<target> FILE_VERSION a.b.c.d [PRODUCT_VERSION a.b.c.d]
#                           [FILE_TYPE DLL|APP] STRINGS "Key=Value" ...)
# Placeholder until the generator lands.
function(norn_add_version_resource target)
endfunction()
