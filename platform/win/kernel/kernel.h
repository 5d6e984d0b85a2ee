// All kernel stand-ins in one include: files, heap, debug output, events and waits, threads, find and
// directory calls, temporary files and times, system information and the CPU report.
#pragma once

#include "platform/win/kernel/cpu.h"
#include "platform/win/kernel/debug_output.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/kernel/heap.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/system_info.h"
#include "platform/win/kernel/thread.h"
