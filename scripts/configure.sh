# Sourced by the build scripts: configure FOLDER [CMAKE OPTIONS...] configures
# the tree into FOLDER with Ninja and, where ccache is installed, through
# ccache, whose cache outlives the build folders (a second build of the same
# sources compiles nothing again). A folder made earlier by another generator
# is configured anew.
configure() {
  local dir=$1
  shift
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # One cache for every clone and folder of the tree: paths below the
    # clone's parent are taken as relative, so another clone hits as well.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
    export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
    export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
  fi
  cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
}
