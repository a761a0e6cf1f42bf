// The demonstration's scene: four cans that walk, spin, jump and dance on a
// textured floor to a script driven by the frame counter.
#pragma once

#include "kvKIT.h"

// One can on the floor. The placement leads, so the renderer can take an
// actor where it takes a placement.
struct Actor {
  Placement placement;
  Model* model;
  Motion* motion;
};

// Process-wide so the choreography can switch the cans between them.
extern Motion* jumpMotion;
extern Motion* secondMotion;
extern Motion* danceMotion;

// Walks the actor d units along its own z axis (negative is forward).
void MoveActor(Actor* actor, int32_t d);
// The choreography's step for frame f (f >= 1).
void AnimateActor(Actor* actor, int32_t f);
// The keys' step: I and J zoom (never nearer than 10), E, S, D and F turn.
void SteerCamera(Camera* camera, uint8_t buttons, uint8_t directions);
// The camera's step for drawn frame f.
void DirectCamera(Camera* camera, int32_t f);
