// Registration of the benchmark groups, run by bench_main.cpp.
#pragma once

void register_raster_benchmarks();
void register_scene_benchmarks();
void register_floor_benchmarks();
