// kvview: a second program on the kit. It opens the object that kvview.txt in
// its working folder names (and the motion and camera path it names), orbits
// the camera around it with the pad, and draws it every frame. Set-up and
// one frame are functions, so tests can drive the same viewer.
#pragma once

#include "kvKIT.h"

// What kvview.txt asks for: lines "object NAME", "motion NAME", "camera NAME".
struct ViewRequest {
  char object[128];
  char motion[128];  // empty: none
  char camera[128];  // empty: none
};

struct Viewer {
  Model* model;
  Motion* motion;
  CameraPath* path;
  LightTable* light;
  Camera camera;
  Placement placement;
  int32_t motionFrames;  // frames the motion plays before it starts again
  int32_t frame;
  int32_t drawn;  // frames drawn since the last rate report
  int32_t reportTick;
  int32_t orbitStep;  // camera yaw per frame until the pad turns it
};

// Reads kvview.txt; 0 with a logged reason when it names no object.
int16_t ReadViewRequest(const char* path, ViewRequest* request);
// Loads what the request names and sizes the work buffers for it; 0 with a
// logged reason on failure. The screen mode must be set.
int16_t ViewerSetUp(Viewer* viewer, const ViewRequest* request);
// One loop iteration: pad and camera, then a drawn frame when there is time.
void ViewerFrame(Viewer* viewer);
// The drawn frame: camera view, pose, clear, the model, present.
void ViewerDraw(Viewer* viewer);
