# The stand-in bot server (native only; included from the top-level CMakeLists.txt).
