/// @file
/// Orlix: the whole public interface in one include.
///
///     #include <infra/orlix.h>
///
/// Each family header below can also be included on its own; each opens with what the family
/// is for, how it behaves across threads and how it reports failure.
#ifndef ORLIX_INFRA_ORLIX_H
#define ORLIX_INFRA_ORLIX_H

// Infra: foundation, printing, synchronisation, threads, timers, time.
#include "infra/defs.h"
#include "infra/error.h"
#include "infra/function.h"
#include "infra/infra3/flex_string.h"
#include "infra/legacy_mutex.h"
#include "infra/legacy_time.h"
#include "infra/logfilter.h"
#include "infra/mutex.h"
#include "infra/print.h"
#include "infra/readwritemutex.h"
#include "infra/semaphore.h"
#include "infra/thread.h"
#include "infra/threadmanager.h"
#include "infra/threadspecific.h"
#include "infra/timer.h"
#include "infra/time.h"
#include "infra/version.h"

// Utils: digests, checksums, codecs, character sets, string and address helpers.
#include "infra/base64.h"
#include "infra/charset.h"
#include "infra/crc.h"
#include "infra/des.h"
#include "infra/md5.h"
#include "infra/sha1.h"
#include "infra/strutil.h"

// Memory: the packet manager, packets, the fixed-size pool and the growable buffer.
#include "infra/buffer.h"
#include "infra/legacy_packet.h"
#include "infra/mempool.h"
#include "infra/packet.h"
#include "infra/packetmanager.h"

// Infra: files, file systems and directory search.
#include "infra/file.h"
#include "infra/filefind.h"
#include "infra/filesystem.h"

// Component: objects and their registry, clients, factories.
#include "infra/client.h"
#include "infra/clientfactory.h"
#include "infra/component.h"

#endif // ORLIX_INFRA_ORLIX_H
