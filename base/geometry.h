// Sizes and positions in pixels that several parts of the game share: the
// view, the play field, the maps, the ship and its probes, the status line.
// SPDX-License-Identifier: MIT
#pragma once

// The play field: the cave view on top, the status line below it.
constexpr int kFieldWidth = 600;
constexpr int kFieldHeight = 216;
constexpr int kViewWidth = 600;
constexpr int kViewHeight = 200;

// Every cave picture is this many rows high; its width is the map's.
constexpr int kMapHeight = 200;

// The ship picture holds the 18 x 9 ship above its 18 x 9 mask.
constexpr int kShipWidth = 18;
constexpr int kShipHeight = 9;

// Collision probes: two pixels 6 right of the ship's left edge, in its top
// row and 8 rows below it.
constexpr int kProbeOffsetX = 6;
constexpr int kProbeBottomY = 8;

// Cave gauge: probe i looks at row shipY + i + 10 below the ship and
// shipY - i above it.
constexpr int kGaugeBelowY = 10;

// Over a whole map the ship drifts this far across the view.
constexpr double kDriftFactor = 400.0;

// Replay seeking: frames forward per RIGHT, back per LEFT.
constexpr int kSeekForward = 18;
constexpr int kSeekBack = 36;

// The status line: its top row and where its parts start.
constexpr int kStatusY = 200;
constexpr int kShieldLabelX = 3;
constexpr int kShieldBarX = 40;
constexpr int kFuelLabelX = 170;
constexpr int kFuelBarX = 227;
constexpr int kScoreX = 360;
constexpr int kRaceTextX = 460;
constexpr int kFrameRateX = 550;
