// A pilot that flies a cave from what it sees, for the content tests.
#include "autopilot.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/conversions.h"
#include "base/game_state.h"
#include "gfx/surface.h"

using namespace precision;

namespace autopilot {
namespace {

bool Rock(const Surface* map, int x, int y) { return GetPixel(map, x, y) != 0; }
int ProbeX(const Flight& f) { return Near(D(f.scrollX) + D(f.shipX) + 6.0); }

constexpr int kHorizon = 90;      // frames looked ahead
constexpr int kReplanEvery = 10;  // frames a clean plan is kept
constexpr double kHitCost = 1000.0;

// One frame of flight as the game runs it: scroll, fuel, thrust and gravity,
// drift, then the collision half with its shield cost. True on a touch.
bool Step(Flight& f, const Rules& r, Thrust thrust, bool brake, const Surface* map) {
    f.brake = brake;
    f.scrollX = F(D(f.scrollX) + ((D(f.fuel) > 0 && f.brake) ? D(r.scrollSpeed) / 2.0 : D(r.scrollSpeed)));
    if (f.brake && D(f.fuel) > 0) {
        f.fuel = F(D(f.fuel) - 1.0);
    } else if (f.brake) {
        f.fuel = 0;  // an empty tank ends the brake
        f.brake = false;
    }
    if (D(f.fuel) >= r.fuelMax) f.fuel = F(r.fuelMax);
    if (!f.brake) f.fuel = F(D(f.fuel) + 1.0);
    if (!f.colliding) {
        f.velocityY = thrust == kUp     ? F(D(r.thrustAccel) + D(f.velocityY))
                      : thrust == kNone ? F(D(r.gravity) + D(f.velocityY))
                                        : F(D(r.gravity) + D(f.velocityY) - D(r.thrustAccel));
    }
    f.shipY = F(D(f.shipY) + D(f.velocityY));
    const double ratio = 400.0 / r.mapWidth, impact = r.impactFactor;
    f.shipX = f.brake ? F(D(f.shipX) + (D(r.scrollSpeed) / 2.0) * ratio) : F(D(f.shipX) + ratio * D(r.scrollSpeed));
    auto top = [&] { return Rock(map, ProbeX(f), Near(D(f.shipY))); };
    auto bottom = [&] { return Rock(map, ProbeX(f), Near(D(f.shipY) + 8.0)); };
    f.colliding = false;
    if (top()) {
        f.colliding = true;
        f.shield = D(f.velocityY) < 0 ? F(impact * D(f.velocityY) + D(f.shield))
                                      : F(D(f.shield) - (impact * D(f.velocityY)) / 2.5);
        f.shipY = F(D(f.shipY) + 1.0);
        if (top()) f.shipY = F(D(f.shipY) + 2.0);
        f.velocityY = D(f.velocityY) < 0 ? F(-(D(f.velocityY) / 2.0)) : F(0.8);
    }
    if (bottom()) {
        f.colliding = true;
        f.shield = D(f.velocityY) < 0 ? F((impact * D(f.velocityY)) / 2.5 + D(f.shield))
                                      : F(D(f.shield) - impact * D(f.velocityY));
        f.shipY = F(D(f.shipY) - 1.0);
        if (bottom()) f.shipY = F(D(f.shipY) - 2.0);
        f.velocityY = D(f.velocityY) > 0 ? F(-(D(f.velocityY) / 2.0)) : F(-0.2);
    }
    if (D(f.shield) < D(r.shieldMax)) f.shield = F(D(f.shield) + D(r.shieldRegen));
    if (top() && bottom()) f.shield = F(D(f.shield) - 1.0);
    return f.colliding;
}

// Thrust that steers towards height `target` without overshooting: the
// wanted speed shrinks as the target nears, so that the ship can still stop.
Thrust Control(float y, float vy, float target) {
    const double err = D(target) - D(y);
    const double want = err >= 0 ? std::min({0.07 * err, 0.85 * std::sqrt(2.0 * 0.045 * err), 1.6})
                                 : -std::min({0.07 * -err, 0.85 * std::sqrt(2.0 * 0.09 * -err), 1.6});
    const double need = want - D(vy);
    const double dUp = std::abs(need + 0.045), dNone = std::abs(need - 0.045), dDown = std::abs(need - 0.09);
    if (dUp <= dNone && dUp <= dDown) return kUp;
    return dDown < dNone ? kDown : kNone;
}

Keys PlanKeys(const Plan& p, int frame, const Flight& f) {
    return {Control(f.shipY, f.velocityY, frame < p.switchFrame ? p.first : p.second), frame < p.brakeFrames};
}

// Cost of following a plan from `f`: hits weigh by the shield they cost,
// rock close to the probes a little, braking a little. Stops early once the
// cost passes `bound`.
double Evaluate(const Plan& p, int age, Flight f, const Rules& r, const Surface* map, double bound) {
    double cost = 0;
    for (int i = 0; i < kHorizon; ++i) {
        const Keys k = PlanKeys(p, age + i, f);
        const float before = f.shield;
        if (Step(f, r, k.thrust, k.brake, map)) cost += kHitCost + 50.0 * std::max(0.0, D(before) - D(f.shield));
        const int px = ProbeX(f), top = Near(D(f.shipY)), bottom = Near(D(f.shipY) + 8.0);
        for (int m = 1; m <= 4; ++m) {
            cost += Rock(map, px, top - m) ? 5 - m : 0;
            cost += Rock(map, px, bottom + m) ? 5 - m : 0;
        }
        if (k.brake) cost += 0.3;
        if (D(f.scrollX) + D(f.shipX) > D(r.mapWidth)) break;
        if (cost > bound) return cost;
    }
    return cost + 2.0 * std::abs(D(f.velocityY));
}

// Heights worth steering to: offsets from the ship and the middles of the
// open stretches of a few columns ahead.
std::vector<float> Targets(const Flight& f, const Rules& r, const Surface* map) {
    std::vector<float> t;
    for (float o : {-60.f, -40.f, -25.f, -15.f, -8.f, -3.f, 0.f, 3.f, 8.f, 15.f, 25.f, 40.f, 60.f})
        t.push_back(F(D(f.shipY) + D(o)));
    const double perFrame = D(r.scrollSpeed) * (1.0 + 400.0 / D(r.mapWidth));
    for (int ahead : {20, 45, 70}) {
        const int x = Near(D(f.scrollX) + D(f.shipX) + 6.0 + perFrame * ahead);
        for (int y = 0, runStart = -1; y <= 200; ++y) {
            const bool open = y < 200 && !Rock(map, x, y);
            if (open && runStart < 0) runStart = y;
            if (open || runStart < 0) continue;
            if (y - runStart >= 12) t.push_back(F((runStart + y) / 2.0 - 4.5));
            runStart = -1;
        }
    }
    return t;
}

}  // namespace

Keys Decide(Pilot& pilot, const Flight& now, const Rules& rules, const Surface* map) {
    pilot.age += 1;
    double bestCost = Evaluate(pilot.plan, pilot.age, now, rules, map, 1e18);
    if (pilot.age < kReplanEvery && bestCost < kHitCost) return PlanKeys(pilot.plan, pilot.age, now);
    const std::vector<float> targets = Targets(now, rules, map);
    auto consider = [&](const Plan& p) {
        const double c = Evaluate(p, 0, now, rules, map, bestCost);
        if (c < bestCost) bestCost = c, pilot.plan = p, pilot.age = 0;
    };
    for (int brakeFrames : {0, 30, 60, 120}) {
        if (brakeFrames > 0 && (bestCost < kHitCost || now.fuel < 20)) break;
        for (float t : targets) consider({t, t, 0, brakeFrames});
        for (float n : {-40.f, -20.f, -8.f, 0.f, 8.f, 20.f, 40.f})
            for (float t : targets)
                for (int sw : {20, 45}) consider({F(D(now.shipY) + D(n)), t, sw, brakeFrames});
    }
    return PlanKeys(pilot.plan, pilot.age, now);
}

}  // namespace autopilot
