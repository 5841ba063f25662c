# Wraps a generated Intel HEX file into a C++ source that defines
# kSamplePackageHex. Run as: cmake -DIN=<hex> -DOUT=<cpp> -P embed_hex.cmake
file(READ "${IN}" text)
file(WRITE "${OUT}"
     "// Generated from ${IN}; do not edit.\n"
     "extern const char kSamplePackageHex[];\n"
     "const char kSamplePackageHex[] = R\"HEX(${text})HEX\";\n")
