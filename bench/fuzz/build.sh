#!/bin/sh
# Builds the fuzz targets into out/ with clang's libFuzzer and the address and
# undefined-behaviour sanitizers, straight from the sources (no CMake).
# A new target is one more `ziel` line at the end.
set -eu
cd "$(dirname "$0")"
SRC=../../src
CXX=${CXX:-clang++}
CXXFLAGS="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
  -fno-sanitize-recover=undefined -I$SRC -I$SRC/transfer/tgputtylib -I../../tests"
TGLIB=$(ls $SRC/transfer/tgputtylib/*.cpp)
SITZUNG="$SRC/transfer/Serverzugang.cpp $SRC/transfer/tgputtysftp.cpp $SRC/transfer/tgputtylibrary.cpp"
UTIL="$SRC/util/Systemfehler.cpp $SRC/util/Dateijobs.cpp $SRC/util/TextGrid.cpp
      $SRC/util/StringLib.cpp $SRC/util/Encoding.cpp $SRC/util/Zahlen.cpp $SRC/util/Datum.cpp
      $SRC/util/Dateisuche.cpp $SRC/util/Ini.cpp"
NUR=""
[ $# -gt 0 ] && NUR=" $* "
mkdir -p out

# ziel <name> <sources...>: out/<name> from fuzz_<name>.cpp and the given
# sources; skipped when names were given on the command line and this is not one.
ziel() {
  name=$1
  shift
  if [ -n "$NUR" ]; then
    case "$NUR" in *" $name "*) ;; *) return 0 ;; esac
  fi
  echo "baue out/$name"
  # shellcheck disable=SC2086
  $CXX $CXXFLAGS "fuzz_$name.cpp" "$@" -o "out/$name"
}

ziel ini $UTIL
ziel text $UTIL
ziel input_buchungen $UTIL $SRC/input/UBuchungen.cpp
ziel input_index $UTIL $SRC/input/URechnungsIndex.cpp
ziel input_lieferanten $UTIL $SRC/input/ULieferanten.cpp
ziel sftp_antworten $TGLIB -lssh
ziel proxy $TGLIB -lssh
ziel knownhosts $UTIL $SITZUNG $TGLIB -lssh -lcrypto
