"""The package's own build backend (PEP 517, PEP 660), standard library only.

`pip install ./python` then needs nothing from an index, not even
setuptools: the package installs on a machine without network.
"""

from __future__ import annotations

import base64
import hashlib
import importlib.util
import io
import tarfile
import tomllib
import zipfile
from pathlib import Path
from typing import Any, Optional

SOURCE = Path(__file__).resolve().parent.parent
TAG = "py3-none-any"


VERSION_FILE = "gridmoor/_version.py"


def _version() -> str:
    # The package's own answer: the CMake project's in a source tree, the
    # version written in for a source archive.
    spec = importlib.util.spec_from_file_location("_gridmoor_version", SOURCE / VERSION_FILE)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return str(module.__version__)


def _project() -> dict[str, Any]:
    with open(SOURCE / "pyproject.toml", "rb") as file:
        project: dict[str, Any] = tomllib.load(file)["project"]
    project["version"] = _version()
    return project


def _version_file() -> bytes:
    docstring = '"""The version of the CMake project the package was built from."""'
    return f'{docstring}\n\n__version__ = "{_version()}"\n'.encode()


def _built_file(path: Path) -> bytes:
    # What a built package holds: the version written in, not looked up.
    if path.relative_to(SOURCE).as_posix() == VERSION_FILE:
        return _version_file()
    return path.read_bytes()


def _dist_name() -> str:
    project = _project()
    return f"{project['name']}-{project['version']}"


def _metadata() -> str:
    project = _project()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
        f"Summary: {project['description']}",
        f"Requires-Python: {project['requires-python']}",
    ]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {r}; extra == "{extra}"' for r in requirements]
    readme = (SOURCE / str(project["readme"])).read_text(encoding="utf-8")
    return "\n".join(lines) + "\nDescription-Content-Type: text/markdown\n\n" + readme


def _package_files() -> list[Path]:
    package = SOURCE / "gridmoor"
    return sorted(p for p in package.rglob("*") if p.is_file() and p.suffix in (".py", ".typed"))


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _write_wheel(folder: str, files: dict[str, bytes]) -> str:
    dist_info = f"{_dist_name()}.dist-info"
    files = dict(files)
    files[f"{dist_info}/METADATA"] = _metadata().encode()
    files[f"{dist_info}/WHEEL"] = (
        f"Wheel-Version: 1.0\nGenerator: gridmoor_backend\nRoot-Is-Purelib: true\nTag: {TAG}\n"
    ).encode()
    record = [_record_line(name, data) for name, data in files.items()]
    record.append(f"{dist_info}/RECORD,,")
    files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
    name = f"{_dist_name()}-{TAG}.whl"
    with zipfile.ZipFile(Path(folder) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in files.items():
            # A fixed date: the same sources give the same wheel.
            info = zipfile.ZipInfo(path, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return name


def get_requires_for_build_wheel(config_settings: Optional[dict[str, Any]] = None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[dict[str, Any]] = None) -> list[str]:
    return []


def get_requires_for_build_editable(
    config_settings: Optional[dict[str, Any]] = None,
) -> list[str]:
    return []


def build_wheel(
    wheel_directory: str,
    config_settings: Optional[dict[str, Any]] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    files = {p.relative_to(SOURCE).as_posix(): _built_file(p) for p in _package_files()}
    return _write_wheel(wheel_directory, files)


def build_editable(
    wheel_directory: str,
    config_settings: Optional[dict[str, Any]] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    # The source folder on sys.path: changes take effect without installing again.
    return _write_wheel(wheel_directory, {"gridmoor.pth": f"{SOURCE}\n".encode()})


def build_sdist(sdist_directory: str, config_settings: Optional[dict[str, Any]] = None) -> str:
    name = _dist_name()
    members = [SOURCE / "pyproject.toml", SOURCE / "README.md", Path(__file__)]
    members += _package_files()
    target = Path(sdist_directory) / f"{name}.tar.gz"
    with tarfile.open(target, "w:gz", format=tarfile.PAX_FORMAT) as archive:
        for path in members:
            data = _built_file(path)
            info = tarfile.TarInfo(f"{name}/{path.relative_to(SOURCE).as_posix()}")
            info.size = len(data)
            info.mode = 0o644
            archive.addfile(info, io.BytesIO(data))
        info = tarfile.TarInfo(f"{name}/PKG-INFO")
        metadata = _metadata().encode()
        info.size = len(metadata)
        info.mode = 0o644
        archive.addfile(info, io.BytesIO(metadata))
    return target.name


__all__ = [
    "build_editable",
    "build_sdist",
    "build_wheel",
    "get_requires_for_build_editable",
    "get_requires_for_build_sdist",
    "get_requires_for_build_wheel",
]
