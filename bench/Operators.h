#pragma once
// Several simulated operators editing one map of the shared database at
// once, each in a process of its own with its own connection:
//
//   darvent-bench operators URL N STEPS [--map NAME] [--restart CMD] [--kill]
//
// Each makes STEPS random steps of every kind (objects moved, added,
// deleted and put in another place of the draw order, undo and redo, stops
// and labels changed), many on the same objects, answering conflicts at
// random.  --restart runs CMD (which stops and starts the server) halfway;
// --kill kills the first operator in the middle of its work and starts it
// again on its journal.  The last line:
//   operators N, steps S, accepted A, conflicts C, lost L, applied twice T, views equal to the database V of N
// Exit code 0 when nothing was lost or applied twice and every view equals
// the database; otherwise the operators' files are kept (with
// DM_OPERATORS_DUMP=1 each view is also written object by object).
// --pace MS makes each operator wait MS between two steps, taking the
// others' steps as they arrive meanwhile.  A line before the last gives
// the accepted steps per second and the time from a step's commit until
// another operator's view holds it (median, 99th percentile).
//
//   darvent-bench livewrite URL MAP RUNS WRITES
//
// The write time of a one-object move on MAP (opened live as the program
// opens it), against a plain UPDATE ... WHERE id = ... AND version = ...
// of another object through libpq (its key: the map and the id),
// interleaved, RUNS runs of WRITES each.

#include <string>
#include <vector>

namespace dm {

int RunOperators(const std::string& self, const std::vector<std::string>& args);
// One operator (a process started by RunOperators).
int RunOperator(const std::vector<std::string>& args);
int RunLiveWrite(const std::vector<std::string>& args);

}  // namespace dm
