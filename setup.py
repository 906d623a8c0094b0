"""Builds the Python package plenta with CMake (see pyproject.toml).

The extension module _plenta is the CMake target of python/CMakeLists.txt,
built over the same core libraries and flags as the console program, for the
interpreter that runs this script.  The pure-Python files come from
python/plenta; _version.py is the one CMake writes from the project version.

The CMake build folder is build-pip/cmake in the checkout, configured for
this interpreter without tests and kept between installs, so that a second
install compiles only what changed.  PLENTA_CMAKE_BUILD_DIR names another
one; a folder that is configured already is used as it is (it must have been
configured for the same interpreter).
PLENTA_CMAKE_ARGS adds arguments to the configure step.
"""
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def project_version():
    """The VERSION of project(plenta ...) in CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*plenta\s+VERSION\s+([0-9][0-9.]*)", text)
    if not match:
        raise RuntimeError("CMakeLists.txt: no 'project(plenta VERSION x.y.z' found")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        given = os.environ.get("PLENTA_CMAKE_BUILD_DIR")
        build_dir = pathlib.Path(given or ROOT / "build-pip" / "cmake").resolve()
        if not (given and (build_dir / "CMakeCache.txt").exists()):
            configure = ["cmake", "-S", str(ROOT), "-B", str(build_dir),
                         "-DBUILD_TESTING=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
            configure += shlex.split(os.environ.get("PLENTA_CMAKE_ARGS", ""))
            subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "_plenta",
                        "-j", str(os.cpu_count() or 1)], check=True)

        package = build_dir / "python" / "plenta"
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        built = package / target.name  # the name carries this interpreter's ABI tag
        if not built.exists():
            raise RuntimeError(f"{built}: not built (is pybind11 installed, and the build "
                               f"folder configured for {sys.executable}?)")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        shutil.copyfile(package / "_version.py", target.parent / "_version.py")


(ROOT / "build-pip").mkdir(exist_ok=True)  # setuptools' build and egg-info folder
setup(
    version=project_version(),
    packages=["plenta"],
    package_dir={"plenta": "python/plenta"},
    ext_modules=[Extension("plenta._plenta", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build-pip"},
             "egg_info": {"egg_base": "build-pip"}},
    zip_safe=False,
)
