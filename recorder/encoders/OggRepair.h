#pragma once
// The repair of an Ogg stream left unfinished (Ogg Vorbis, Ogg FLAC): the
// file is cut back after its last whole page that ends on a packet
// boundary (a page whose checksum holds), and that page is marked as the
// end of the stream (its checksum recomputed), in place. The length comes
// from that page's granule position and the rate in the stream's first
// packet (Vorbis or FLAC identification header).
// Thread affinity: any thread.

#include <string>

#include "formats/FormatFamily.h"

namespace tarvexa {

RecoveredFile RecoverOggFile(const std::string& path);

// The Ogg page checksum (CRC-32, polynomial 0x04C11DB7, no reflection) of a
// page whose checksum field is zero.
uint32_t OggPageChecksum(const unsigned char* page, size_t size);

}  // namespace tarvexa
