// Run records as a bench's report holds them, with the recordId each carries, for the tests and
// benchmarks of the line's database and metrics (no GoogleTest).
#pragma once

#include "knot_names.h"

#include <cstdio>
#include <string>

// The `index`th record of a made-up shift: every seventh unit failed in its flash stage, every
// eleventh was interrupted, the others were written.
inline std::string ShiftRecordLine(const std::string& recordId, int index) {
    const bool interrupted = index % 11 == 10;
    const bool failed = !interrupted && index % 7 == 6;
    const char* result = interrupted ? "interrupted" : failed ? "failed" : "written";
    const char* failure = interrupted ? R"({"stage":"cpu","block":4,"cause":"interrupted"})"
                          : failed    ? R"({"stage":"flash","block":3,"cause":"refused"})"
                                      : "null";
    char line[1024];
    std::snprintf(line, sizeof line,
                  R"({"recordId":"%s","result":"%s","model":"p","file":"shift.mot",)"
                  R"("sha256":"8244900cd3ccf98ddca88dfe2535793abdafbf8b502e8b1ff064795274b8840d",)"
                  R"("host":"bench-7","time":"2026-12-08T09:%02d:%02dZ","slot":"1-1.%d",)"
                  R"("devicePath":"/run/knot/unit%d","deviceNumber":%d,)"
                  R"("stageSeconds":{"prepare":0.25,"cpu":1.5,"flash":2,"commit":0.25,"wait":%d},)"
                  R"("failure":%s,"message":"Caf\u00e9 \u2014 ok","exitCode":%d})",
                  recordId.c_str(), result, index / 60 % 60, index % 60, index % 4, index % 4,
                  index % 4, failed || interrupted ? 0 : 60, failure,
                  interrupted ? 130
                  : failed    ? 5
                              : 0);
    return line;
}

// Whether ShiftRecordLine(_, index) is a run of `result`.
inline bool ShiftRunIs(int index, const std::string& result) {
    const bool interrupted = index % 11 == 10;
    const bool failed = !interrupted && index % 7 == 6;
    return result == (interrupted ? "interrupted" : failed ? "failed" : "written");
}
