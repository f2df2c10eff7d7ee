# cmake -DMSIBUILD=msibuild -DMSI=package.msi -DDESCRIPTION=text
#       -DMANUFACTURER=name -P package_codes.cmake
# Gives a package built with zero codes its product code and package code:
# the two halves of the SHA-256 of the package with both codes zero, marked
# as name-based UUIDs (version 8, RFC 9562). The same sources give the same
# package and so the same codes; any other package gets other ones, as
# Windows Installer wants of a package code, and so does its product code:
# every build upgrades the one installed, under the upgrade code that stays.

# msibuild -s sets the subject, author, template and package code at once;
# the template is wixl's for --arch x64 and Language 1033.
function(set_package_code code)
  execute_process(COMMAND ${MSIBUILD} ${MSI} -s ${DESCRIPTION} ${MANUFACTURER} "x64;1033" {${code}}
    COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# uuid(VAR HEX32): the 32 hex digits as a UUID of version 8, variant 10.
function(uuid var hex)
  set(_variant 8 9 A B 8 9 A B 8 9 A B 8 9 A B)
  string(SUBSTRING ${hex} 16 1 _v)
  string(FIND 0123456789ABCDEF ${_v} _index)
  list(GET _variant ${_index} _v)
  string(SUBSTRING ${hex} 0 8 _a)
  string(SUBSTRING ${hex} 8 4 _b)
  string(SUBSTRING ${hex} 13 3 _c)
  string(SUBSTRING ${hex} 17 3 _d)
  string(SUBSTRING ${hex} 20 12 _e)
  set(${var} ${_a}-${_b}-8${_c}-${_v}${_d}-${_e} PARENT_SCOPE)
endfunction()

set_package_code(00000000-0000-0000-0000-000000000000)
file(SHA256 ${MSI} _hash)
string(TOUPPER ${_hash} _hash)
string(SUBSTRING ${_hash} 0 32 _first)
string(SUBSTRING ${_hash} 32 32 _second)
uuid(_product ${_first})
uuid(_package ${_second})
execute_process(COMMAND ${MSIBUILD} ${MSI}
  -q "UPDATE Property SET Value='{${_product}}' WHERE Property='ProductCode'"
  COMMAND_ERROR_IS_FATAL ANY)
set_package_code(${_package})
