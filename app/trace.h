// The core's events in the trace of a run (platform/tracing_platform.h):
// the language chosen and why, the minimum versions, each reply's version
// and the decision on it, the prompts and their answers. An event's text is
// built only while Tracing() holds: a run without a trace only asks.
#pragma once

#include <initializer_list>
#include <string_view>

#include "app/system.h"
#include "platform/platform.h"
#include "platform/trace_text.h"

inline bool Tracing() {
  return System().Tracing();
}

inline void Trace(std::string_view event) {
  System().Trace(event);
}

// The parts joined as one event.
inline void Trace(std::initializer_list<std::string_view> parts) {
  System().Trace(TraceJoin(parts));
}
