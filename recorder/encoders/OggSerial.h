#pragma once
// Serial numbers of new Ogg streams, for every writer that writes Ogg (Ogg
// Vorbis, Ogg FLAC).
// Thread affinity: any thread.

namespace tarvexa {

// A serial number for a new Ogg stream: random, and never the same as the
// one handed out just before.
int NewOggSerialNumber();

}  // namespace tarvexa
