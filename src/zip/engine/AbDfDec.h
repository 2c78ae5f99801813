// Raw Deflate and Deflate64 decoding: Inflate and the block routines it runs.
#pragma once

#include <cstdint>

#include "rtl/Stream.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbDfHufD.h"
#include "zip/engine/AbDfOutW.h"
#include "zip/engine/AbDfStrm.h"

namespace ab {

// Decodes one raw Deflate stream (Deflate64 with dfcDeflate64) from the
// source's position into the destination's position. Returns the CRC-32 of
// the output (its Adler-32 with dfcUseAdler32), or 0 when the decode stopped
// at StopAfter or was aborted through OnInputProgress. The source is left just
// after the last input byte used; output decoded before a failure stays in the
// destination. Corrupt input raises EAbInflateError, a wrong passphrase
// EAbInflatePasswordError (the source moved back to the header); stream errors
// pass unchanged. The options' InputUsed and OutputMade receive the counts.
uint32_t Inflate(rtl::TStream* aSource, rtl::TStream* aDest, TAbDeflateHelper* helper);

// The tables of a dynamic block, kept by a decoder from block to block and
// from member to member.
struct TAbDfBlockTrees {
  TAbDfCodeLengthTree codeLengths;
  TAbDfLitLenTree litLen;
  TAbDfDistanceTree distance;
  uint8_t lengths[286 + 32];
};

// The block routines; each raises EAbInternalInflateError on corrupt input.
void InflateStoredBlock(TAbDfInBitStream& bits, TAbDfOutputWindow& window);
void InflateDynamicBlock(TAbDfInBitStream& bits, TAbDfOutputWindow& window, TAbDfBlockTrees& trees,
                         bool deflate64);
// count lengths (at most 318) into lengths, which must start cleared.
void ReadLitDistCodeLengths(TAbDfInBitStream& bits, const TAbDfDecodeHuffmanTree& codeLengthTree,
                            int count, uint8_t* lengths);
// Literals and matches up to the end-of-block code.
void DecodeData(TAbDfInBitStream& bits, TAbDfOutputWindow& window,
                const TAbDfDecodeHuffmanTree& litLenTree,
                const TAbDfDecodeHuffmanTree& distanceTree);

}  // namespace ab
