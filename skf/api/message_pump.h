// The one-message pump of the event wait: dispatches at most one waiting window message of
// the calling thread (Windows); nothing elsewhere.
#pragma once

void PumpOneMessage();
