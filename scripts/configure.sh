# Sourced by the build scripts: configure FOLDER [CMAKE OPTIONS...] configures
# the tree into FOLDER with Ninja. A folder made earlier by another generator
# is configured anew. BOLARIS_CCACHE=1 compiles through ccache (when
# installed): the objects are then kept for other clones and folders, but with
# precompiled headers ccache hashes the 200 MB header image for every file,
# which makes a first build a third slower, so it is not the default.
configure() {
  local dir=$1
  shift
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  local launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=)
  if [ "${BOLARIS_CCACHE:-0}" = 1 ] && command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # One cache for every clone and folder of the tree: paths below the
    # clone's parent are taken as relative, so another clone hits as well.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
    export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
    export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
  fi
  cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
}
