// The demonstration: set-up, then a loop paced at 30 updates a second that
// advances the choreography and the camera spring every iteration and draws
// when there is time, until Escape is held.
#include "demo/Kvmain.h"

#include <cstring>

Motion* jumpMotion = nullptr;
Motion* secondMotion = nullptr;
Motion* danceMotion = nullptr;

namespace {

constexpr int32_t kActors = 4;
constexpr int32_t kMotionFrames = 32;
// Actors 1 and 3 play their motion half a cycle out of step with 0 and 2.
constexpr int32_t kMotionOffset[kActors] = {0, 16, 0, 16};
constexpr int32_t kStartYaw[kActors] = {0, 1024, 2048, 3072};
constexpr float kStartX[kActors] = {800, 800, -800, -800};
constexpr float kStartZ[kActors] = {800, -800, -800, 800};

constexpr int32_t kCameraStep = 40;
constexpr int32_t kZoomStep = 10;
constexpr int32_t kClosest = 10;

}  // namespace

void MoveActor(Actor* actor, int32_t d) {
  Matrix rotation;
  kv3dRotationMatrix(&rotation, 0, 0, static_cast<Angle>(actor->placement.yaw));
  const Vector step{0.0f, 0.0f, static_cast<float>(d)};
  Vector moved;
  kv3dRotate(&moved, &step, &rotation);
  Vector position;
  kv3dAdd(&position, &actor->placement.position, &moved);
  actor->placement.position = position;
}

void AnimateActor(Actor* actor, int32_t f) {
  const int32_t r = f % kMotionFrames;
  Placement& p = actor->placement;
  if (f < 410) {
    if (r >= 10 && r <= 29) MoveActor(actor, -6);  // walk
  } else if (f <= 417) {
    if (r == 0) actor->motion = secondMotion;
  } else if (f <= 484) {
    // A spinning jump: 26 frames up, 41 down.
    p.yaw = static_cast<int16_t>(p.yaw + 512);
    if (f < 444)
      p.position.y += 6.0f;
    else
      p.position.y -= 4.0f;
  } else if (f == 485) {
    p.position.y = 0.0f;  // the jump ends 8 below the floor; land on it
  } else if (f <= 910) {
    MoveActor(actor, -2);
  } else if (f <= 945) {
    if (r == 0) actor->motion = danceMotion;
  } else if (f <= 1205) {
    p.yaw = static_cast<int16_t>(p.yaw + 128);  // spin on the spot
  } else if (f <= 2410) {
    if (r <= 22) {  // walk in a wide circle
      MoveActor(actor, -2);
      p.yaw = static_cast<int16_t>(p.yaw + 6);
    }
  }
}

void SteerCamera(Camera* camera, uint8_t buttons, uint8_t directions) {
  if (buttons & KV_PAD_BUTTON2) camera->distance += kZoomStep;
  if (buttons & KV_PAD_BUTTON3) {
    camera->distance -= kZoomStep;
    if (camera->distance < kClosest) camera->distance = kClosest;
  }
  if (directions & KV_PAD_LEFT) camera->yaw = (camera->yaw + kCameraStep) & 0xFFF;
  if (directions & KV_PAD_RIGHT) camera->yaw = (camera->yaw - kCameraStep) & 0xFFF;
  if (directions & KV_PAD_UP) camera->pitch = (camera->pitch + kCameraStep) & 0xFFF;
  if (directions & KV_PAD_DOWN) camera->pitch = (camera->pitch - kCameraStep) & 0xFFF;
}

void DirectCamera(Camera* camera, int32_t f) {
  switch ((f / 64) % 12) {
    case 0:
      camera->pitch = 300;
      camera->yaw += 1024;
      break;
    case 4:
      camera->pitch = 100;
      camera->yaw -= 1024;
      break;
    case 8:
      camera->pitch = 1000;
      camera->yaw += 1024;
      break;
    default:
      return;
  }
  camera->roll = 0;
  kv3dCameraOrbitGoal(camera);
}

bool DemoSetUp(DemoScene* scene) {
  std::memset(scene, 0, sizeof *scene);
  if (!kv3dInitWorkBuffers(10000)) return false;
  kvSetViewRect(0, 0, 640, 480);
  kv3dSetProjection(512);
  kv3dSetNearZ(10.0f);

  Model* floor = scene->floor = kv3dLoadKVO("바닥.kvo");
  scene->can = kv3dLoadKVO("깡통.kvo");
  jumpMotion = kv3dLoadMOT("점프.mot");
  secondMotion = kv3dLoadMOT("꾸기기.mot");
  danceMotion = kv3dLoadMOT("춤자세.mot");
  // A texture that fails to load stays null in its slot; the floor then keeps
  // drawing with whatever texture is current.
  Surface* floorTextures[4] = {kvLoadBmp("map2a.bmp"), kvLoadBmp("map2b.bmp"),
                               kvLoadBmp("map2c.bmp"), kvLoadBmp("map2d.bmp")};
  if (floor == nullptr || scene->can == nullptr) {
    kvDebugPrint("ERROR: kv3dLoad_KVO \n");
    return false;
  }
  // The cycling texture goes on the floor's second material.
  if (floor->materialCount < 2) {
    kvDebugPrint("ERROR: 바닥.kvo has %d material(s), the floor needs two\n",
                 static_cast<int>(floor->materialCount));
    return false;
  }
  for (int32_t t = 0; t < 4; ++t) scene->cycle[t] = floorTextures[(t + 1) % 4];

  // A grey light from 45 degrees above; three tables add a coloured light
  // from below, the fourth keeps the grey one alone.
  LightTable** lights = scene->lights;
  for (int32_t t = 0; t < 4; ++t) {
    lights[t] = kv3dCreateLight(512, 512, 125, 125, 125, 0, 0, 0);
    if (lights[t] == nullptr) {
      kvDebugPrint("ERROR: kv3dCreateLight\n");
      return false;
    }
  }
  kv3dAddLight(lights[0], 0xFE00, 1024, 255, 0, 0);
  kv3dAddLight(lights[1], 0xFE00, 2048, 0, 255, 0);
  kv3dAddLight(lights[2], 0xFE00, 3076, 0, 0, 255);
  kv3dSetLight(lights[3]);
  DemoStartScript(scene);
  kvSetFrameRate(30);
  return true;
}

void DemoStartScript(DemoScene* scene) {
  for (int32_t i = 0; i < kActors; ++i) {
    Actor& actor = scene->actors[i];
    std::memset(&actor, 0, sizeof actor);
    actor.model = scene->can;
    actor.motion = jumpMotion;
    actor.placement.position.x = kStartX[i];
    actor.placement.position.z = kStartZ[i];
    actor.placement.yaw = static_cast<int16_t>(kStartYaw[i]);
  }
  Camera& camera = scene->camera;
  std::memset(&camera, 0, sizeof camera);
  camera.pitch = 512;
  camera.yaw = 0;
  camera.roll = 0;
  camera.distance = 2048;
  kv3dCameraOrbitGoal(&camera);
  scene->frame = 0;
}

void DemoIteration(DemoScene* scene) {
  Camera& camera = scene->camera;
  const uint8_t buttons = kvGetPadButtons(0);
  const uint8_t directions = kvGetPadDirection(0);
  SteerCamera(&camera, buttons, directions);

  const int32_t f = ++scene->frame;
  for (Actor& actor : scene->actors) AnimateActor(&actor, f);
  kv3dCameraSmooth(&camera);
  if (kvFrameSkip() == 0) return;  // late: the world moved, nothing is drawn

  DirectCamera(&camera, f);
  kv3dCameraLookAt(&camera);
  kv3dCameraView(&camera);
  kvClear(0, 0, 0);
  if (!kvBeginScene()) return;

  const int32_t t = (f / kMotionFrames) % 4;
  scene->floor->materials[1].texture = scene->cycle[t];
  kv3dDrawModel(&camera.viewMatrix, scene->floor);
  kv3dSetLight(scene->lights[t]);
  for (int32_t i = 0; i < kActors; ++i) {
    Actor& actor = scene->actors[i];
    const int32_t motionFrame = (f + kMotionOffset[i]) % kMotionFrames;
    kv3dSetMotionFrame(actor.model->pivots, actor.model->pivotCount, actor.motion,
                       static_cast<float>(motionFrame));
    kv3dDrawModelAt(&camera.viewMatrix, actor.model, &actor.placement);
  }
  kvEndScene();
  kvFlip();
}

void kvMain() {
  if (!kvSetScreenMode(6)) {
    kvDebugPrint("ERROR: kvSetScreenMode\n");
    return;
  }
  DemoScene scene;
  if (!DemoSetUp(&scene)) return;
  while (kvKeyEscape() == 0) DemoIteration(&scene);
}
