// The demonstration's scene: four cans that walk, spin, jump and dance on a
// textured floor to a script driven by the frame counter. kvMain is set-up and
// a loop of iterations; both are here so the benchmark and the tests run the
// same scene.
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

// One whole run of the script in loop iterations (the choreography takes its
// last step at 2410).
constexpr int32_t kScriptIterations = 2450;
// The frames of the script worth a look: walking under each light, the switch
// to the squash, the spinning jump, the dance, the circle. The first two
// seconds are left out: the camera is still swinging in.
inline constexpr int64_t kScriptHighlights[16] = {100, 170, 250,  330,  416,  440,  470,  600,
                                                  760, 960, 1100, 1250, 1500, 1800, 2100, 2420};

// What set-up makes and each iteration moves on.
struct DemoScene {
  Model* floor;
  Model* can;
  LightTable* lights[4];
  Surface* cycle[4];  // the floor's second material in turn: B, C, D, A (null: not loaded)
  Actor actors[4];
  Camera camera;
  int32_t frame;  // iterations so far
};

// kvMain's set-up once the screen mode is set: work buffers, view and
// projection, the data, the light tables, the frame rate, then the start of
// the script. False (logged) when the data is missing or unusable.
bool DemoSetUp(DemoScene* scene);
// Puts the cans and the camera where the script starts, at iteration 0.
void DemoStartScript(DemoScene* scene);
// One iteration of kvMain's loop: the keys steer the camera, the choreography
// and the camera spring move on, and the frame is drawn when there is time.
void DemoIteration(DemoScene* scene);
