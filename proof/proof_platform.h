// The prover's platform: what the flight asks of the outside world when a
// recorded run is flown again on the server, with no window and no player.
// SPDX-License-Identifier: MIT
#pragma once

// The number the next draw of the random stream gives. The flight draws one
// a step, for the engine trail's yellow pixel; the prover answers it so that
// the pixel comes out as the run recorded it whenever the rules allow that.
void AnswerNextRandom(double number);

// The smallest and the largest number the game's stream can give: with the
// first the trail pixel is painted whenever its chance is above 0, with the
// second only where its chance is 1.
constexpr double kLeastRandom = 0.0;
constexpr double kGreatestRandom = 1.0 - 1.0 / 16777216.0;
