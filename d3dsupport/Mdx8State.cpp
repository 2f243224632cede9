#include "d3dsupport/Mdx8.h"

namespace Mdx8 {

std::shared_ptr<DirectX8> dx;
std::shared_ptr<Direct3D8> d3d;
std::shared_ptr<Direct3DDevice8> d3dDevice;
std::shared_ptr<D3DX8> d3dx;
D3DPRESENT_PARAMETERS presentParams{};
D3DMATRIX matWorld{};
D3DMATRIX matView{};
D3DMATRIX matProj{};

MeshRecord sceneMesh;
std::string modelFile;
bool readingModel = false;

}  // namespace Mdx8
