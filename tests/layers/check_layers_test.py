"""The layering check catches what it is for, on a planted tree."""
import contextlib
import io
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "cmake"))
import check_layers  # noqa: E402


def plant(root, files):
    for path, text in files.items():
        file = root / path
        file.parent.mkdir(parents=True, exist_ok=True)
        file.write_text(text)


class CheckLayersTest(unittest.TestCase):
    def test_reports_each_include_that_crosses_the_layers(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = pathlib.Path(tmp)
            plant(root, {
                "include/kvKIT.h": '#include "platform/d3d/d3d.h"\n',
                "platform/d3d/d3d.h": '#include "platform/ddraw/ddraw.h"\n',
                "platform/ddraw/ddraw.h": '#include "platform/win/win32.h"\n',
                "platform/win/win32.h": "",
                "platform/host/host.h": "",
                "platform/host/sdl/sdl_host.h": '#include "platform/host/host.h"\n',
                "platform/raster/raster.h": "",
                # the planted faults
                "kvSys/kvScreen.cpp": '#include "kvKIT.h"\n'
                                      '#include "platform/host/sdl/sdl_host.h"\n'
                                      "#include <SDL.h>\n",
                "platform/raster/raster.cpp": '#include "raster.h"\n'
                                              '  #  include "platform/win/win32.h"\n',
                "platform/win/module.cpp": '#include "platform/ddraw/ddraw.h"\n',
                "demo/Kvmain.cpp": '#include "platform/raster/raster.h"\n',
            })
            self.assertEqual(check_layers.violations(root), [
                "demo/Kvmain.cpp:1: the program layer must not include "
                "platform/raster/raster.h (the raster layer)",
                "kvSys/kvScreen.cpp:2: the kit layer must not include "
                "platform/host/sdl/sdl_host.h (the sdl host layer)",
                "kvSys/kvScreen.cpp:3: the kit layer must not include <SDL.h> (only sdl host)",
                "platform/raster/raster.cpp:2: the raster layer must not include "
                "platform/win/win32.h (the win layer)",
                "platform/win/module.cpp:1: the win layer must not include "
                "platform/ddraw/ddraw.h (the ddraw layer)",
            ])
            with contextlib.redirect_stdout(io.StringIO()) as out:
                self.assertEqual(check_layers.main(["check_layers.py", str(root)]), 1)
            self.assertIn("5 include(s) cross the layers", out.getvalue())

    def test_the_host_interface_belongs_to_the_stand_ins(self):
        self.assertEqual(check_layers.owner("platform/host/host.h"), "win")
        self.assertEqual(check_layers.owner("platform/host/headless/headless.h"), "headless host")
        self.assertIsNone(check_layers.owner("tests/win/window_test.cpp"))


if __name__ == "__main__":
    unittest.main()
