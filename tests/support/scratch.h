// The scratch set-up that the unit tests, the fuzz targets and the benchmark
// share: a private directory for the gateway's files, so that nothing they
// run writes a station's real configuration, fault log or control files.
#pragma once

// The process's scratch directory, made on the first call (under $TMPDIR,
// else /tmp) and removed with its contents when the process that made it
// exits. Aborts when none can be made: nothing may then run against the real
// files.
const char* scratch_dir();

// Points the configuration file, the fault log, the weather scratch file and
// both voice gateway control files into scratch_dir(); returns its path.
const char* scratch_places();
