// The strength rating of a new PIN that the change dialog's meter shows.
#pragma once

namespace certdesk {

// 0 empty; 1 weak (all digits, one repeated character, or a run of consecutive codes);
// 2 medium (letters of one case); 3 strong (anything else).
int RatePinStrength(const char *text);

}  // namespace certdesk
