// Timeline: events on the beat timeline, their control-point tracks, uniform
// definitions and event groups, and the evaluation of tracks into numbers and
// texts at a beat.
//
// Owns: the Event, UniformDef, ControlPoint(Track) and EventGroup records,
// their binary and JSON forms, the binding of their references, and track
// evaluation. Does not own: the events themselves (the Demo's lists do), the
// records they point at (effects, samples), the graph node that runs a
// uniforms event, or the clock that gives the current beat.
//
// Life: the content loader reads every event (first of all lists) and every
// group; after all lists are read it calls Event::resolve_references, later
// EventGroup::resolve_references (or resolve_names for the JSON form). Per
// frame, a uniforms event's node asks is_active(t) and then evaluate_value /
// evaluate_text for each definition; evaluation keeps no state and does not
// allocate for numbers once each track exists. Nothing is released during
// playback.
#pragma once

#include "timeline/control_point.h"
#include "timeline/event.h"
#include "timeline/event_group.h"
#include "timeline/uniform_def.h"
