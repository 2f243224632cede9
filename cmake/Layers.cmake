# The layers of the code, bottom first. A file may include headers of its own layer and of
# the layers before it, never of one after it; cmake/CheckLayers.cmake, run as the test
# "layers", enforces this. The top-level CMakeLists.txt adds the folders in this order.
# A new folder of code goes into this list where its includes put it.
set(CELSHADE_LAYERS
  platform/runtime
  platform/math
  platform/vs
  platform/xfile
  platform/import  # other model formats: Assimp in a child process, its handover checked here
  platform/gl
  platform/d3d8
  platform/d3dx8
  platform/ui
  shaderbind
  edges
  d3dsupport
  scene
  render
  dialog
  app
  animation    # picture and animation writers for the tool; needs only platform/runtime
  tools)

# Layers kept free of Qt: no file of theirs includes a Qt header, directly or through the
# headers of this tree that it includes (the check follows them). Naming a Qt type without
# its header (class QFont;) is allowed.
set(CELSHADE_QT_FREE_LAYERS
  platform/runtime platform/math platform/vs platform/xfile platform/import platform/gl platform/d3d8
  shaderbind edges scene animation)

# Folders of code outside the layers: they may include any of them.
set(CELSHADE_OUTSIDE_LAYERS tests bench fuzz)
