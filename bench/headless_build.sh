# Sourced by the soak and memcheck scripts: builds the headless runner with
# optimisation and debug information in a folder of its own (the benchmark
# folder keeps its Release build), and sets $build to that folder.
build=build/headless
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DICON_LOOK_TESTS=OFF \
  -DICON_LOOK_SDL=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target icon_look_headless > /dev/null
