# SPDX-License-Identifier: MIT
"""The Python package cp932conv: `pip install .` builds the library and its extension module
with CMake from this source tree (nothing is downloaded) for the Python that runs pip, and
installs the package."""
import glob
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


class cmake_build_ext(build_ext):
    """Builds the extension module as the project's own build does."""

    def build_extension(self, ext):
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        subprocess.run(["cmake", "-S", HERE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                        "-DBUILD_TESTING=OFF", "-DPython3_EXECUTABLE=" + sys.executable],
                       check=True)
        subprocess.run(["cmake", "--build", build, "--target", "_cp932conv", "-j",
                        str(os.cpu_count() or 1)], check=True)
        built = glob.glob(os.path.join(build, "python", "cp932conv", "_cp932conv*.so"))[0]
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(
    name="cp932conv",
    version="1.0.0",
    description="CP932 codecs with per-codec variant mappings and an audit of every loss",
    license="MIT",
    packages=["cp932conv"],
    package_dir={"": "python"},
    ext_modules=[Extension("cp932conv._cp932conv", sources=[])],
    cmdclass={"build_ext": cmake_build_ext},
)
