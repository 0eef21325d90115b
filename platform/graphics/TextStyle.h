// How a text is set in its box: the alignment and the line-break modes that
// labels, buttons and the drawing context share. Plain enums; no state.
#pragma once

namespace murmelo {

enum class TextAlignment { Left, Center, Right };
enum class LineBreakMode { WordWrap, CharacterWrap, Clip, HeadTruncation, TailTruncation, MiddleTruncation };

} // namespace murmelo
