// The audio compression manager: conversion streams from a compressed wave format to 16-bit PCM.
// Codecs: MPEG audio Layers I-III (tag 0x55, through libmpg123), MS ADPCM (2), IMA ADPCM (0x11),
// A-law (6) and mu-law (7). Any other pair of formats is refused (ACMERR_NOTPOSSIBLE).
//
// The conversion contract: acmStreamConvert decodes whole source blocks (ADPCM blocks, MPEG frames,
// 1-byte samples) for as long as their output fits the destination, then reports truthfully how much
// source it used and how much output it wrote; the caller hands the unused source back next time.
// A final short ADPCM block is decoded as far as it goes. Bytes that are no frame (free-format MPEG,
// garbage between frames) are skipped and count as used.
#pragma once

#include "platform/win/kernel/wave_format.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

struct AcmStream;  // the stand-in's conversion stream
using HACMSTREAM = AcmStream*;
using HACMDRIVER = void*;  // no drivers are chosen: always null
using HACMOBJ = void*;
using DWORD_PTR = uintptr_t;

// ---- Results ------------------------------------------------------------------------------------
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;

// ---- Flags --------------------------------------------------------------------------------------
constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;
constexpr DWORD ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr DWORD ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr DWORD ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr DWORD ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
constexpr DWORD ACM_STREAMOPENF_QUERY = 0x1;
constexpr DWORD ACM_STREAMOPENF_ASYNC = 0x2;
constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x4;
constexpr DWORD ACM_STREAMSIZEF_SOURCE = 0x0;
constexpr DWORD ACM_STREAMSIZEF_DESTINATION = 0x1;
constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x4;
constexpr DWORD ACM_STREAMCONVERTF_START = 0x10;
constexpr DWORD ACM_STREAMCONVERTF_END = 0x20;
constexpr DWORD ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr DWORD ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

struct ACMSTREAMHEADER {
  DWORD cbStruct;  // sizeof(ACMSTREAMHEADER)
  DWORD fdwStatus;
  DWORD_PTR dwUser;
  BYTE* pbSrc;
  DWORD cbSrcLength;
  DWORD cbSrcLengthUsed;
  DWORD_PTR dwSrcUser;
  BYTE* pbDst;
  DWORD cbDstLength;
  DWORD cbDstLengthUsed;
  DWORD_PTR dwDstUser;
  DWORD_PTR dwReservedDriver[10];
};

struct WAVEFILTER;  // never used: always null

// ACM_METRIC_MAX_SIZE_FORMAT: the largest format record a codec uses (DWORD written to `metric`).
MMRESULT acmMetrics(HACMOBJ object, UINT metric, void* value);
// ACM_FORMATSUGGESTF_WFORMATTAG with destination tag WAVE_FORMAT_PCM: fills 16-bit PCM at the source's
// channels and rate (cbSize 0). `size` is the destination's room (at least 16 bytes).
MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* source, WAVEFORMATEX* destination,
                          DWORD size, DWORD flags);
// Opens a conversion from `source` (with its codec data after the record) to the PCM `destination`.
// ACM_STREAMOPENF_QUERY only answers whether it is possible (stream may then be null).
MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const WAVEFORMATEX* source,
                       const WAVEFORMATEX* destination, WAVEFILTER* filter, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags);
// ACM_STREAMSIZEF_SOURCE: the output bytes `bytes` of source give (exact for the block codecs and
// A-law / mu-law, an upper estimate for MPEG); ACM_STREAMSIZEF_DESTINATION: source bytes for that
// much output.
MMRESULT acmStreamSize(HACMSTREAM stream, DWORD bytes, DWORD* result, DWORD flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags);

}  // namespace plat
