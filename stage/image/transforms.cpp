// Copying, flipping, turning, resizing, tinting and lightening of sprite images.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "stage/image/decoders.h"
#include "stage/image/sprite_image.h"

namespace wintrel::image {

namespace detail {
bool WellFormed(const SpriteImage& image) {
  if (!image.Usable()) return false;
  const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  for (const ImageFrame& frame : image.frames) {
    if (frame.pixels.size() != count) return false;
  }
  return true;
}
}  // namespace detail

using detail::WellFormed;

namespace {
// sin and cos of a * 0.017453292519444445 for every whole degree a, correctly rounded to
// double. The C libraries disagree in the last bit for a few angles (234, 263 and 277
// among them), and that bit can move a pixel; from a table every platform turns a
// picture the same way.
constexpr double kSinCos[360][2] = {
    {0.0, 0x1.0000000000000p+0},  // 0
    {0x1.1df0b2b87ab8cp-6, 0x1.ffec097f5afd8p-1},  // 1
    {0x1.1de58c9f5aad7p-5, 0x1.ffb0278bf06a0p-1},  // 2
    {0x1.acbc748ec7fbap-5, 0x1.ff4c5ed12e8dfp-1},  // 3
    {0x1.1db8f6d6820dep-4, 0x1.fec0b717104dcp-1},  // 4
    {0x1.64fd6b8bfc59cp-4, 0x1.fe0d3b4181d48p-1},  // 5
    {0x1.ac2609b39118ep-4, 0x1.fd31f94f872c8p-1},  // 6
    {0x1.f32d44c4b9341p-4, 0x1.fc2f025a24d85p-1},  // 7
    {0x1.1d06c968b71e8p-3, 0x1.fb046a930a804p-1},  // 8
    {0x1.4060b67a5e35fp-3, 0x1.f9b24942ffd12p-1},  // 9
    {0x1.63a1a7e08c022p-3, 0x1.f838b8c813a92p-1},  // 10
    {0x1.86c6ddd736c38p-3, 0x1.f697d6938db99p-1},  // 11
    {0x1.a9cd9ac3f20e3p-3, 0x1.f4cfc327a2c4ap-1},  // 12
    {0x1.ccb3236ca4d28p-3, 0x1.f2e0a214eba63p-1},  // 13
    {0x1.ef74bf2e0ff69p-3, 0x1.f0ca99f79f597p-1},  // 14
    {0x1.0907dc19109f4p-2, 0x1.ee8dd47490339p-1},  // 15
    {0x1.1a40add307243p-2, 0x1.ec2a7e35ec8e8p-1},  // 16
    {0x1.2b637cf819b18p-2, 0x1.e9a0c6e7c325cp-1},  // 17
    {0x1.3c6ef372d905fp-2, 0x1.e6f0e1344b6a0p-1},  // 18
    {0x1.4d61bcffe573ap-2, 0x1.e41b02bff215dp-1},  // 19
    {0x1.5e3a87487783ap-2, 0x1.e11f64252a52bp-1},  // 20
    {0x1.6ef801fcc2306p-2, 0x1.ddfe40f003c1cp-1},  // 21
    {0x1.7f98deee2ca76p-2, 0x1.dab7d79985bfep-1},  // 22
    {0x1.901bd22961878p-2, 0x1.d74c6982d042bp-1},  // 23
    {0x1.a07f92103192cp-2, 0x1.d3bc3af002aebp-1},  // 24
    {0x1.b0c2d77347cf6p-2, 0x1.d0079302e90d8p-1},  // 25
    {0x1.c0e45dabad176p-2, 0x1.cc2ebbb5700d6p-1},  // 26
    {0x1.d0e2e2b419183p-2, 0x1.c83201d3e0392p-1},  // 27
    {0x1.e0bd27420eca0p-2, 0x1.c411b4f6e0dc0p-1},  // 28
    {0x1.f071eedec268ep-2, 0x1.bfce277d4308cp-1},  // 29
    {0x1.ffffffffc6ffcp-2, 0x1.bb67ae85953f1p-1},  // 30
    {0x1.07b3120fc0cb0p-1, 0x1.b6dea1e78031ap-1},  // 31
    {0x1.0f5193eab00dbp-1, 0x1.b2335c2ced2e7p-1},  // 32
    {0x1.16daed76e915ap-1, 0x1.ad663a8af6b51p-1},  // 33
    {0x1.1e4e884100e56p-1, 0x1.a8779cdaa3c59p-1},  // 34
    {0x1.25abcf87a5242p-1, 0x1.a367e5916e7a2p-1},  // 35
    {0x1.2cf2304735b2ep-1, 0x1.9e3779b99680ep-1},  // 36
    {0x1.342119453b811p-1, 0x1.98e6c0ea400e8p-1},  // 37
    {0x1.3b37fb1bbbba5p-1, 0x1.9376253f5fe72p-1},  // 38
    {0x1.42364844666c5p-1, 0x1.8de61351751f0p-1},  // 39
    {0x1.491b75239fc4bp-1, 0x1.8836fa2d11382p-1},  // 40
    {0x1.4fe6f813630b9p-1, 0x1.82694b4a2f454p-1},  // 41
    {0x1.5698496dfe804p-1, 0x1.7c7d7a835ac06p-1},  // 42
    {0x1.5d2ee398a7433p-1, 0x1.7673fe0ca6c3bp-1},  // 43
    {0x1.63aa430de4788p-1, 0x1.704d4e6a765b1p-1},  // 44
    {0x1.6a09e667d0d4ep-1, 0x1.6a09e66816a4bp-1},  // 45
    {0x1.704d4e6a31c5ep-1, 0x1.63aa430e2b7d9p-1},  // 46
    {0x1.7673fe0c636e8p-1, 0x1.5d2ee398ef77dp-1},  // 47
    {0x1.7c7d7a8318b07p-1, 0x1.5698496e47deep-1},  // 48
    {0x1.82694b49ee7fbp-1, 0x1.4fe6f813ad8e8p-1},  // 49
    {0x1.8836fa2cd1c1fp-1, 0x1.491b7523eb662p-1},  // 50
    {0x1.8de6135136fd3p-1, 0x1.42364844b3265p-1},  // 51
    {0x1.9376253f231e9p-1, 0x1.3b37fb1c0986fp-1},  // 52
    {0x1.98e6c0ea04a3ep-1, 0x1.342119458a5a3p-1},  // 53
    {0x1.9e3779b95c78ep-1, 0x1.2cf2304785926p-1},  // 54
    {0x1.a367e59135d93p-1, 0x1.25abcf87f603dp-1},  // 55
    {0x1.a8779cda6c903p-1, 0x1.1e4e884152beep-1},  // 56
    {0x1.ad663a8ac0ef9p-1, 0x1.16daed773be2ap-1},  // 57
    {0x1.b2335c2cb8dcfp-1, 0x1.0f5193eb03c7cp-1},  // 58
    {0x1.b6dea1e74d584p-1, 0x1.07b31210156b8p-1},  // 59
    {0x1.bb67ae8563e1dp-1, 0x1.0000000039004p-1},  // 60
    {0x1.bfce277d132b6p-1, 0x1.f071eedf6f1c3p-2},  // 61
    {0x1.c411b4f6b2825p-1, 0x1.e0bd2742bd224p-2},  // 62
    {0x1.c83201d3b366cp-1, 0x1.d0e2e2b4c907bp-2},  // 63
    {0x1.cc2ebbb544c5cp-1, 0x1.c0e45dac5e909p-2},  // 64
    {0x1.d0079302bf541p-1, 0x1.b0c2d773fac47p-2},  // 65
    {0x1.d3bc3aefda86ap-1, 0x1.a07f9210e5f58p-2},  // 66
    {0x1.d74c6982a9af2p-1, 0x1.901bd22a174a2p-2},  // 67
    {0x1.dab7d79960c3ep-1, 0x1.7f98deeee3bbbp-2},  // 68
    {0x1.ddfe40efe0602p-1, 0x1.6ef801fd7a881p-2},  // 69
    {0x1.e11f6425088e5p-1, 0x1.5e3a874931103p-2},  // 70
    {0x1.e41b02bfd1f14p-1, 0x1.4d61bd00a026bp-2},  // 71
    {0x1.e6f0e1342ce7cp-1, 0x1.3c6ef37394d11p-2},  // 72
    {0x1.e9a0c6e7a6483p-1, 0x1.2b637cf8d685fp-2},  // 73
    {0x1.ec2a7e35d157ep-1, 0x1.1a40add3c4f30p-2},  // 74
    {0x1.ee8dd47476a60p-1, 0x1.0907dc19cf59ep-2},  // 75
    {0x1.f0ca99f787770p-1, 0x1.ef74bf2f8f25cp-3},  // 76
    {0x1.f2e0a214d570ap-1, 0x1.ccb3236e259dcp-3},  // 77
    {0x1.f4cfc3278e3dcp-1, 0x1.a9cd9ac574570p-3},  // 78
    {0x1.f697d6937ae2fp-1, 0x1.86c6ddd8ba6c4p-3},  // 79
    {0x1.f838b8c802844p-1, 0x1.63a1a7e210ec8p-3},  // 80
    {0x1.f9b24942f05f5p-1, 0x1.4060b67be4434p-3},  // 81
    {0x1.fb046a92fcc2cp-1, 0x1.1d06c96a3e30cp-3},  // 82
    {0x1.fc2f025a18d02p-1, 0x1.f32d44c7c9255p-4},  // 83
    {0x1.fd31f94f7cdaap-1, 0x1.ac2609b6a299ep-4},  // 84
    {0x1.fe0d3b417939bp-1, 0x1.64fd6b8f0f2c5p-4},  // 85
    {0x1.fec0b717096abp-1, 0x1.1db8f6d995f59p-4},  // 86
    {0x1.ff4c5ed129633p-1, 0x1.acbc7494f17a5p-5},  // 87
    {0x1.ffb0278becf7fp-1, 0x1.1de58ca585609p-5},  // 88
    {0x1.ffec097f59447p-1, 0x1.1df0b2c4d18dap-6},  // 89
    {0x1.0000000000000p+0, 0x1.8aea234c4c663p-35},  // 90
    {0x1.ffec097f5cb6ap-1, -0x1.1df0b2ac23e1cp-6},  // 91
    {0x1.ffb0278bf3dc1p-1, -0x1.1de58c992ffa3p-5},  // 92
    {0x1.ff4c5ed133b8bp-1, -0x1.acbc74889e7dap-5},  // 93
    {0x1.fec0b7171730dp-1, -0x1.1db8f6d36e261p-4},  // 94
    {0x1.fe0d3b418a6f5p-1, -0x1.64fd6b88e9869p-4},  // 95
    {0x1.fd31f94f917e7p-1, -0x1.ac2609b07f98ap-4},  // 96
    {0x1.fc2f025a30e08p-1, -0x1.f32d44c1a9431p-4},  // 97
    {0x1.fb046a93183ddp-1, -0x1.1d06c967300c3p-3},  // 98
    {0x1.f9b249430f42fp-1, -0x1.4060b678d8285p-3},  // 99
    {0x1.f838b8c824ce0p-1, -0x1.63a1a7df07181p-3},  // 100
    {0x1.f697d693a0902p-1, -0x1.86c6ddd5b31aep-3},  // 101
    {0x1.f4cfc327b74b8p-1, -0x1.a9cd9ac26fc53p-3},  // 102
    {0x1.f2e0a21501dbbp-1, -0x1.ccb3236b24075p-3},  // 103
    {0x1.f0ca99f7b73bep-1, -0x1.ef74bf2c90c7ap-3},  // 104
    {0x1.ee8dd474a9c11p-1, -0x1.0907dc1851e4ap-2},  // 105
    {0x1.ec2a7e3607c52p-1, -0x1.1a40add249554p-2},  // 106
    {0x1.e9a0c6e7e0036p-1, -0x1.2b637cf75cdd1p-2},  // 107
    {0x1.e6f0e13469ec4p-1, -0x1.3c6ef3721d3b0p-2},  // 108
    {0x1.e41b02c0123a6p-1, -0x1.4d61bcff2ac09p-2},  // 109
    {0x1.e11f64254c172p-1, -0x1.5e3a8747bdf70p-2},  // 110
    {0x1.ddfe40f027236p-1, -0x1.6ef801fc09d8ap-2},  // 111
    {0x1.dab7d799aabbep-1, -0x1.7f98deed75932p-2},  // 112
    {0x1.d74c6982f6d63p-1, -0x1.901bd228abc4dp-2},  // 113
    {0x1.d3bc3af02ad6dp-1, -0x1.a07f920f7d2fcp-2},  // 114
    {0x1.d007930312c71p-1, -0x1.b0c2d77294da3p-2},  // 115
    {0x1.cc2ebbb59b551p-1, -0x1.c0e45daafb9dfp-2},  // 116
    {0x1.c83201d40d0b7p-1, -0x1.d0e2e2b36928dp-2},  // 117
    {0x1.c411b4f70f35bp-1, -0x1.e0bd27416071ep-2},  // 118
    {0x1.bfce277d72e60p-1, -0x1.f071eede15b5dp-2},  // 119
    {0x1.bb67ae85c69c5p-1, -0x1.ffffffff1bfefp-2},  // 120
    {0x1.b6dea1e7b30afp-1, -0x1.07b3120f6c2a7p-1},  // 121
    {0x1.b2335c2d217ffp-1, -0x1.0f5193ea5c539p-1},  // 122
    {0x1.ad663a8b2c7aap-1, -0x1.16daed7696488p-1},  // 123
    {0x1.a8779cdadafafp-1, -0x1.1e4e8840af0bbp-1},  // 124
    {0x1.a367e591a71afp-1, -0x1.25abcf8754448p-1},  // 125
    {0x1.9e3779b9d088ep-1, -0x1.2cf23046e5d36p-1},  // 126
    {0x1.98e6c0ea7b791p-1, -0x1.34211944eca7fp-1},  // 127
    {0x1.9376253f9cafbp-1, -0x1.3b37fb1b6dedbp-1},  // 128
    {0x1.8de61351b340dp-1, -0x1.4236484419b24p-1},  // 129
    {0x1.8836fa2d50ae5p-1, -0x1.491b752354234p-1},  // 130
    {0x1.82694b4a700afp-1, -0x1.4fe6f81318889p-1},  // 131
    {0x1.7c7d7a839cd04p-1, -0x1.5698496db521bp-1},  // 132
    {0x1.7673fe0cea18dp-1, -0x1.5d2ee3985f0e9p-1},  // 133
    {0x1.704d4e6abaf03p-1, -0x1.63aa430d9d739p-1},  // 134
    {0x1.6a09e6685c748p-1, -0x1.6a09e6678b051p-1},  // 135
    {0x1.63aa430e72828p-1, -0x1.704d4e69ed30bp-1},  // 136
    {0x1.5d2ee39937ac7p-1, -0x1.7673fe0c20194p-1},  // 137
    {0x1.5698496e913dap-1, -0x1.7c7d7a82d6a06p-1},  // 138
    {0x1.4fe6f813f8118p-1, -0x1.82694b49adba0p-1},  // 139
    {0x1.491b752437078p-1, -0x1.8836fa2c924bdp-1},  // 140
    {0x1.42364844ffe04p-1, -0x1.8de61350f8db7p-1},  // 141
    {0x1.3b37fb1c57538p-1, -0x1.9376253ee6560p-1},  // 142
    {0x1.34211945d9335p-1, -0x1.98e6c0e9c9395p-1},  // 143
    {0x1.2cf23047d571fp-1, -0x1.9e3779b92270ep-1},  // 144
    {0x1.25abcf8846e39p-1, -0x1.a367e590fd385p-1},  // 145
    {0x1.1e4e8841a4989p-1, -0x1.a8779cda355adp-1},  // 146
    {0x1.16daed778eaf8p-1, -0x1.ad663a8a8b2a2p-1},  // 147
    {0x1.0f5193eb5781ap-1, -0x1.b2335c2c848b9p-1},  // 148
    {0x1.07b312106a0c0p-1, -0x1.b6dea1e71a7efp-1},  // 149
    {0x1.000000008e80ap-1, -0x1.bb67ae8532849p-1},  // 150
    {0x1.f071eee01bcf7p-2, -0x1.bfce277ce34e0p-1},  // 151
    {0x1.e0bd27436b7a7p-2, -0x1.c411b4f68428ap-1},  // 152
    {0x1.d0e2e2b578f77p-2, -0x1.c83201d386944p-1},  // 153
    {0x1.c0e45dad100a0p-2, -0x1.cc2ebbb5197e1p-1},  // 154
    {0x1.b0c2d774adb94p-2, -0x1.d0079302959aap-1},  // 155
    {0x1.a07f92119a586p-2, -0x1.d3bc3aefb25e9p-1},  // 156
    {0x1.901bd22acd0cdp-2, -0x1.d74c6982831b9p-1},  // 157
    {0x1.7f98deef9ad00p-2, -0x1.dab7d7993bc7ep-1},  // 158
    {0x1.6ef801fe32dfbp-2, -0x1.ddfe40efbcfe9p-1},  // 159
    {0x1.5e3a8749ea9d0p-2, -0x1.e11f6424e6c9ep-1},  // 160
    {0x1.4d61bd015ada0p-2, -0x1.e41b02bfb1ccap-1},  // 161
    {0x1.3c6ef374509bdp-2, -0x1.e6f0e1340e658p-1},  // 162
    {0x1.2b637cf9935a0p-2, -0x1.e9a0c6e7896abp-1},  // 163
    {0x1.1a40add482c1fp-2, -0x1.ec2a7e35b6215p-1},  // 164
    {0x1.0907dc1a8e149p-2, -0x1.ee8dd4745d188p-1},  // 165
    {0x1.ef74bf310e54ep-3, -0x1.f0ca99f76f948p-1},  // 166
    {0x1.ccb3236fa668cp-3, -0x1.f2e0a214bf3b1p-1},  // 167
    {0x1.a9cd9ac6f6a06p-3, -0x1.f4cfc32779b6ep-1},  // 168
    {0x1.86c6ddda3e157p-3, -0x1.f697d693680c5p-1},  // 169
    {0x1.63a1a7e395d64p-3, -0x1.f838b8c7f15f6p-1},  // 170
    {0x1.4060b67d6a50bp-3, -0x1.f9b24942e0ed8p-1},  // 171
    {0x1.1d06c96bc5430p-3, -0x1.fb046a92ef053p-1},  // 172
    {0x1.f32d44cad9167p-4, -0x1.fc2f025a0cc7ep-1},  // 173
    {0x1.ac2609b9b41a8p-4, -0x1.fd31f94f7288bp-1},  // 174
    {0x1.64fd6b9222003p-4, -0x1.fe0d3b41709eep-1},  // 175
    {0x1.1db8f6dca9de5p-4, -0x1.fec0b7170287ap-1},  // 176
    {0x1.acbc749b1af6bp-5, -0x1.ff4c5ed124386p-1},  // 177
    {0x1.1de58cabb010cp-5, -0x1.ffb0278be985ep-1},  // 178
    {0x1.1df0b2d128639p-6, -0x1.ffec097f578b5p-1},  // 179
    {0x1.8aea234c4c663p-34, -0x1.0000000000000p+0},  // 180
    {-0x1.1df0b29fcd0bep-6, -0x1.ffec097f5e6fbp-1},  // 181
    {-0x1.1de58c930547fp-5, -0x1.ffb0278bf74e3p-1},  // 182
    {-0x1.acbc748274fd5p-5, -0x1.ff4c5ed138e37p-1},  // 183
    {-0x1.1db8f6d05a3d6p-4, -0x1.fec0b7171e13ep-1},  // 184
    {-0x1.64fd6b85d6b4cp-4, -0x1.fe0d3b41930a2p-1},  // 185
    {-0x1.ac2609ad6e180p-4, -0x1.fd31f94f9bd05p-1},  // 186
    {-0x1.f32d44be9951fp-4, -0x1.fc2f025a3ce8bp-1},  // 187
    {-0x1.1d06c965a8f9fp-3, -0x1.fb046a9325fb5p-1},  // 188
    {-0x1.4060b677521aep-3, -0x1.f9b249431eb4cp-1},  // 189
    {-0x1.63a1a7dd822d6p-3, -0x1.f838b8c835f2ep-1},  // 190
    {-0x1.86c6ddd42f71cp-3, -0x1.f697d693b366dp-1},  // 191
    {-0x1.a9cd9ac0ed7ccp-3, -0x1.f4cfc327cbd25p-1},  // 192
    {-0x1.ccb32369a33ccp-3, -0x1.f2e0a21518114p-1},  // 193
    {-0x1.ef74bf2b11988p-3, -0x1.f0ca99f7cf1e6p-1},  // 194
    {-0x1.0907dc179329fp-2, -0x1.ee8dd474c34eap-1},  // 195
    {-0x1.1a40add18b866p-2, -0x1.ec2a7e3622fbbp-1},  // 196
    {-0x1.2b637cf6a008cp-2, -0x1.e9a0c6e7fce0ep-1},  // 197
    {-0x1.3c6ef371616fcp-2, -0x1.e6f0e134886e9p-1},  // 198
    {-0x1.4d61bcfe700d4p-2, -0x1.e41b02c0325f0p-1},  // 199
    {-0x1.5e3a8747046aap-2, -0x1.e11f64256ddb8p-1},  // 200
    {-0x1.6ef801fb51814p-2, -0x1.ddfe40f04a84ep-1},  // 201
    {-0x1.7f98deecbe7eep-2, -0x1.dab7d799cfb7ep-1},  // 202
    {-0x1.901bd227f6022p-2, -0x1.d74c69831d69cp-1},  // 203
    {-0x1.a07f920ec8ccep-2, -0x1.d3bc3af052feep-1},  // 204
    {-0x1.b0c2d771e1e53p-2, -0x1.d00793033c808p-1},  // 205
    {-0x1.c0e45daa4a24cp-2, -0x1.cc2ebbb5c69cbp-1},  // 206
    {-0x1.d0e2e2b2b938dp-2, -0x1.c83201d439de0p-1},  // 207
    {-0x1.e0bd2740b219cp-2, -0x1.c411b4f73d8f5p-1},  // 208
    {-0x1.f071eedd69029p-2, -0x1.bfce277da2c36p-1},  // 209
    {-0x1.fffffffe70fe3p-2, -0x1.bb67ae85f7f9ap-1},  // 210
    {-0x1.07b3120f1789fp-1, -0x1.b6dea1e7e5e45p-1},  // 211
    {-0x1.0f5193ea08999p-1, -0x1.b2335c2d55d16p-1},  // 212
    {-0x1.16daed76437b8p-1, -0x1.ad663a8b62402p-1},  // 213
    {-0x1.1e4e88405d323p-1, -0x1.a8779cdb12305p-1},  // 214
    {-0x1.25abcf870364dp-1, -0x1.a367e591dfbbdp-1},  // 215
    {-0x1.2cf2304695f3ep-1, -0x1.9e3779ba0a90ep-1},  // 216
    {-0x1.342119449dcecp-1, -0x1.98e6c0eab6e3bp-1},  // 217
    {-0x1.3b37fb1b20212p-1, -0x1.9376253fd9784p-1},  // 218
    {-0x1.42364843ccf84p-1, -0x1.8de61351f1629p-1},  // 219
    {-0x1.491b75230881dp-1, -0x1.8836fa2d90247p-1},  // 220
    {-0x1.4fe6f812ce05ap-1, -0x1.82694b4ab0d08p-1},  // 221
    {-0x1.5698496d6bc2ep-1, -0x1.7c7d7a83dee06p-1},  // 222
    {-0x1.5d2ee39816d9fp-1, -0x1.7673fe0d2d6e0p-1},  // 223
    {-0x1.63aa430d566eap-1, -0x1.704d4e6aff856p-1},  // 224
    {-0x1.6a09e66745355p-1, -0x1.6a09e668a2444p-1},  // 225
    {-0x1.704d4e69a89b8p-1, -0x1.63aa430eb9878p-1},  // 226
    {-0x1.7673fe0bdcc41p-1, -0x1.5d2ee3997fe11p-1},  // 227
    {-0x1.7c7d7a8294907p-1, -0x1.5698496eda9c4p-1},  // 228
    {-0x1.82694b496cf47p-1, -0x1.4fe6f81442947p-1},  // 229
    {-0x1.8836fa2c52d58p-1, -0x1.491b752482a92p-1},  // 230
    {-0x1.8de61350bab9bp-1, -0x1.423648454c9a4p-1},  // 231
    {-0x1.9376253ea98d5p-1, -0x1.3b37fb1ca5205p-1},  // 232
    {-0x1.98e6c0e98dcebp-1, -0x1.34211946280c8p-1},  // 233
    {-0x1.9e3779b8e8690p-1, -0x1.2cf2304825515p-1},  // 234
    {-0x1.a367e590c4977p-1, -0x1.25abcf8897c34p-1},  // 235
    {-0x1.a8779cd9fe25ap-1, -0x1.1e4e8841f671ep-1},  // 236
    {-0x1.ad663a8a55648p-1, -0x1.16daed77e17ccp-1},  // 237
    {-0x1.b2335c2c503a1p-1, -0x1.0f5193ebab3bbp-1},  // 238
    {-0x1.b6dea1e6e7a57p-1, -0x1.07b31210beacbp-1},  // 239
    {-0x1.bb67ae8501274p-1, -0x1.00000000e4011p-1},  // 240
    {-0x1.bfce277cb370dp-1, -0x1.f071eee0c8823p-2},  // 241
    {-0x1.c411b4f655cefp-1, -0x1.e0bd274419d2ap-2},  // 242
    {-0x1.c83201d359c20p-1, -0x1.d0e2e2b628e69p-2},  // 243
    {-0x1.cc2ebbb4ee367p-1, -0x1.c0e45dadc1833p-2},  // 244
    {-0x1.d00793026be12p-1, -0x1.b0c2d77560ae4p-2},  // 245
    {-0x1.d3bc3aef8a366p-1, -0x1.a07f92124ebbbp-2},  // 246
    {-0x1.d74c69825c880p-1, -0x1.901bd22b82cf7p-2},  // 247
    {-0x1.dab7d79916cbcp-1, -0x1.7f98def051e4cp-2},  // 248
    {-0x1.ddfe40ef999d0p-1, -0x1.6ef801feeb375p-2},  // 249
    {-0x1.e11f6424c5059p-1, -0x1.5e3a874aa4292p-2},  // 250
    {-0x1.e41b02bf91a80p-1, -0x1.4d61bd02158d2p-2},  // 251
    {-0x1.e6f0e133efe34p-1, -0x1.3c6ef3750c66dp-2},  // 252
    {-0x1.e9a0c6e76c8d1p-1, -0x1.2b637cfa502edp-2},  // 253
    {-0x1.ec2a7e359aeabp-1, -0x1.1a40add54090dp-2},  // 254
    {-0x1.ee8dd474438aep-1, -0x1.0907dc1b4ccfbp-2},  // 255
    {-0x1.f0ca99f757b21p-1, -0x1.ef74bf328d83fp-3},  // 256
    {-0x1.f2e0a214a905ap-1, -0x1.ccb323712732dp-3},  // 257
    {-0x1.f4cfc32765300p-1, -0x1.a9cd9ac878e94p-3},  // 258
    {-0x1.f697d6935535cp-1, -0x1.86c6dddbc1bd2p-3},  // 259
    {-0x1.f838b8c7e03a7p-1, -0x1.63a1a7e51ac18p-3},  // 260
    {-0x1.f9b24942d17bbp-1, -0x1.4060b67ef05e2p-3},  // 261
    {-0x1.fb046a92e147ap-1, -0x1.1d06c96d4c564p-3},  // 262
    {-0x1.fc2f025a00bfbp-1, -0x1.f32d44cde9079p-4},  // 263
    {-0x1.fd31f94f6836dp-1, -0x1.ac2609bcc5992p-4},  // 264
    {-0x1.fe0d3b4168040p-1, -0x1.64fd6b9534d30p-4},  // 265
    {-0x1.fec0b716fba49p-1, -0x1.1db8f6dfbdc40p-4},  // 266
    {-0x1.ff4c5ed11f0dap-1, -0x1.acbc74a144790p-5},  // 267
    {-0x1.ffb0278be613dp-1, -0x1.1de58cb1dac30p-5},  // 268
    {-0x1.ffec097f55d23p-1, -0x1.1df0b2dd7f417p-6},  // 269
    {-0x1.0000000000000p+0, -0x1.282f9a79394cap-33},  // 270
    {-0x1.ffec097f6028dp-1, 0x1.1df0b293762dfp-6},  // 271
    {-0x1.ffb0278bfac04p-1, 0x1.1de58c8cda95cp-5},  // 272
    {-0x1.ff4c5ed13e0e4p-1, 0x1.acbc747c4b82fp-5},  // 273
    {-0x1.fec0b71724f6fp-1, 0x1.1db8f6cd4655ap-4},  // 274
    {-0x1.fe0d3b419ba4fp-1, 0x1.64fd6b82c3e1ep-4},  // 275
    {-0x1.fd31f94fa6224p-1, 0x1.ac2609aa5c956p-4},  // 276
    {-0x1.fc2f025a48f0ep-1, 0x1.f32d44bb8960dp-4},  // 277
    {-0x1.fb046a9333b8fp-1, 0x1.1d06c96421e6bp-3},  // 278
    {-0x1.f9b249432e269p-1, 0x1.4060b675cc0d7p-3},  // 279
    {-0x1.f838b8c84717bp-1, 0x1.63a1a7dbfd442p-3},  // 280
    {-0x1.f697d693c63d6p-1, 0x1.86c6ddd2abc91p-3},  // 281
    {-0x1.f4cfc327e0593p-1, 0x1.a9cd9abf6b33ep-3},  // 282
    {-0x1.f2e0a2152e46dp-1, 0x1.ccb323682270dp-3},  // 283
    {-0x1.f0ca99f7e700dp-1, 0x1.ef74bf2992697p-3},  // 284
    {-0x1.ee8dd474dcdc3p-1, 0x1.0907dc16d46edp-2},  // 285
    {-0x1.ec2a7e363e325p-1, 0x1.1a40add0cdb78p-2},  // 286
    {-0x1.e9a0c6e819be6p-1, 0x1.2b637cf5e334fp-2},  // 287
    {-0x1.e6f0e134a6f0dp-1, 0x1.3c6ef370a5a4bp-2},  // 288
    {-0x1.e41b02c052838p-1, 0x1.4d61bcfdb55aap-2},  // 289
    {-0x1.e11f64258f9ffp-1, 0x1.5e3a87464add9p-2},  // 290
    {-0x1.ddfe40f06de68p-1, 0x1.6ef801fa9929ap-2},  // 291
    {-0x1.dab7d799f4b40p-1, 0x1.7f98deec076a2p-2},  // 292
    {-0x1.d74c698343fd5p-1, 0x1.901bd227403f8p-2},  // 293
    {-0x1.d3bc3af07b26dp-1, 0x1.a07f920e146a7p-2},  // 294
    {-0x1.d0079303663a0p-1, 0x1.b0c2d7712ef02p-2},  // 295
    {-0x1.cc2ebbb5f1e43p-1, 0x1.c0e45da998ac0p-2},  // 296
    {-0x1.c83201d466b06p-1, 0x1.d0e2e2b209494p-2},  // 297
    {-0x1.c411b4f76be90p-1, 0x1.e0bd274003c19p-2},  // 298
    {-0x1.bfce277dd2a0dp-1, 0x1.f071eedcbc4efp-2},  // 299
    {-0x1.bb67ae862956ep-1, 0x1.fffffffdc5fd7p-2},  // 300
    {-0x1.b6dea1e818bddp-1, 0x1.07b3120ec2e94p-1},  // 301
    {-0x1.b2335c2d8a22ep-1, 0x1.0f5193e9b4df9p-1},  // 302
    {-0x1.ad663a8b98058p-1, 0x1.16daed75f0aebp-1},  // 303
    {-0x1.a8779cdb4965ap-1, 0x1.1e4e88400b58ap-1},  // 304
    {-0x1.a367e592185cbp-1, 0x1.25abcf86b2852p-1},  // 305
    {-0x1.9e3779ba44990p-1, 0x1.2cf2304646142p-1},  // 306
    {-0x1.98e6c0eaf24e4p-1, 0x1.342119444ef5ap-1},  // 307
    {-0x1.937625401640fp-1, 0x1.3b37fb1ad2545p-1},  // 308
    {-0x1.8de613522f846p-1, 0x1.42364843803e4p-1},  // 309
    {-0x1.8836fa2dcf9a7p-1, 0x1.491b7522bce0ap-1},  // 310
    {-0x1.82694b4af1962p-1, 0x1.4fe6f8128382bp-1},  // 311
    {-0x1.7c7d7a8420f03p-1, 0x1.5698496d22647p-1},  // 312
    {-0x1.7673fe0d70c36p-1, 0x1.5d2ee397cea52p-1},  // 313
    {-0x1.704d4e6b441a8p-1, 0x1.63aa430d0f69ap-1},  // 314
    {-0x1.6a09e668e8144p-1, 0x1.6a09e666ff655p-1},  // 315
    {-0x1.63aa430f008c8p-1, 0x1.704d4e6964066p-1},  // 316
    {-0x1.5d2ee399c8158p-1, 0x1.7673fe0b996f1p-1},  // 317
    {-0x1.5698496f23faep-1, 0x1.7c7d7a8252807p-1},  // 318
    {-0x1.4fe6f8148d173p-1, 0x1.82694b492c2f0p-1},  // 319
    {-0x1.491b7524ce4a8p-1, 0x1.8836fa2c135f6p-1},  // 320
    {-0x1.4236484599545p-1, 0x1.8de613507c97ep-1},  // 321
    {-0x1.3b37fb1cf2ecfp-1, 0x1.9376253e6cc4cp-1},  // 322
    {-0x1.3421194676e5ap-1, 0x1.98e6c0e952642p-1},  // 323
    {-0x1.2cf230487530dp-1, 0x1.9e3779b8ae610p-1},  // 324
    {-0x1.25abcf88e8a2fp-1, 0x1.a367e5908bf69p-1},  // 325
    {-0x1.1e4e8842484b7p-1, 0x1.a8779cd9c6f04p-1},  // 326
    {-0x1.16daed783449cp-1, 0x1.ad663a8a1f9f0p-1},  // 327
    {-0x1.0f5193ebfef5bp-1, 0x1.b2335c2c1be8ap-1},  // 328
    {-0x1.07b31211134d3p-1, 0x1.b6dea1e6b4cc2p-1},  // 329
    {-0x1.0000000139817p-1, 0x1.bb67ae84cfca0p-1},  // 330
    {-0x1.f071eee175365p-2, 0x1.bfce277c83933p-1},  // 331
    {-0x1.e0bd2744c82adp-2, 0x1.c411b4f627755p-1},  // 332
    {-0x1.d0e2e2b6d8d62p-2, 0x1.c83201d32cef9p-1},  // 333
    {-0x1.c0e45dae72fc7p-2, 0x1.cc2ebbb4c2eedp-1},  // 334
    {-0x1.b0c2d77613a34p-2, 0x1.d00793024227ap-1},  // 335
    {-0x1.a07f9213031e9p-2, 0x1.d3bc3aef620e5p-1},  // 336
    {-0x1.901bd22c38922p-2, 0x1.d74c698235f48p-1},  // 337
    {-0x1.7f98def108f90p-2, 0x1.dab7d798f1cfcp-1},  // 338
    {-0x1.6ef801ffa38efp-2, 0x1.ddfe40ef763b6p-1},  // 339
    {-0x1.5e3a874b5db5bp-2, 0x1.e11f6424a3413p-1},  // 340
    {-0x1.4d61bd02d0403p-2, 0x1.e41b02bf71837p-1},  // 341
    {-0x1.3c6ef375c831ep-2, 0x1.e6f0e133d1610p-1},  // 342
    {-0x1.2b637cfb0d032p-2, 0x1.e9a0c6e74faf8p-1},  // 343
    {-0x1.1a40add5fe5fbp-2, 0x1.ec2a7e357fb41p-1},  // 344
    {-0x1.0907dc1c0b8a5p-2, 0x1.ee8dd47429fd6p-1},  // 345
    {-0x1.ef74bf340cb31p-3, 0x1.f0ca99f73fcf9p-1},  // 346
    {-0x1.ccb32372a7fddp-3, 0x1.f2e0a21492d01p-1},  // 347
    {-0x1.a9cd9ac9fb323p-3, 0x1.f4cfc32750a92p-1},  // 348
    {-0x1.86c6dddd4565dp-3, 0x1.f697d693425f2p-1},  // 349
    {-0x1.63a1a7e69fabbp-3, 0x1.f838b8c7cf159p-1},  // 350
    {-0x1.4060b680766b9p-3, 0x1.f9b24942c209ep-1},  // 351
    {-0x1.1d06c96ed3688p-3, 0x1.fb046a92d38a2p-1},  // 352
    {-0x1.f32d44d0f8f8cp-4, 0x1.fc2f0259f4b78p-1},  // 353
    {-0x1.ac2609bfd719cp-4, 0x1.fd31f94f5de4fp-1},  // 354
    {-0x1.64fd6b9847a5ep-4, 0x1.fe0d3b415f693p-1},  // 355
    {-0x1.1db8f6e2d1abcp-4, 0x1.fec0b716f4c18p-1},  // 356
    {-0x1.acbc74a76df76p-5, 0x1.ff4c5ed119e2ep-1},  // 357
    {-0x1.1de58cb805753p-5, 0x1.ffb0278be2a1cp-1},  // 358
    {-0x1.1df0b2e9d6176p-6, 0x1.ffec097f54192p-1},  // 359
};
}  // namespace

double DegreeSine(int32_t degrees) { return kSinCos[((degrees % 360) + 360) % 360][0]; }
double DegreeCosine(int32_t degrees) { return kSinCos[((degrees % 360) + 360) % 360][1]; }

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const uint64_t num = static_cast<uint64_t>(product < 0 ? -product : product);
  const uint64_t den = static_cast<uint64_t>(c < 0 ? -static_cast<int64_t>(c) : c);
  const uint64_t q = (num + den / 2) / den;  // halves away from zero
  if (q > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1u : 0u)) {
    return -1;  // the result does not fit, as the system's MulDiv reports it
  }
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(q)) : static_cast<int32_t>(q);
}

bool CloneImage(const SpriteImage& image, SpriteImage& out) {
  if (!WellFormed(image)) {
    out = SpriteImage{};
    return false;
  }
  out = image;
  return true;
}

void FlipImage(SpriteImage& image, int32_t mode) {
  if (!WellFormed(image) || mode < 1 || mode > 3) return;
  const int32_t w = image.width, h = image.height;
  for (ImageFrame& frame : image.frames) {
    uint32_t* px = frame.pixels.data();
    if (mode == 1 || mode == 3) {
      for (int32_t y = 0; y < h; ++y) std::reverse(px + static_cast<size_t>(y) * w, px + static_cast<size_t>(y + 1) * w);
    }
    if (mode == 2 || mode == 3) {
      for (int32_t j = 0; j < h / 2; ++j) {
        std::swap_ranges(px + static_cast<size_t>(j) * w, px + static_cast<size_t>(j + 1) * w,
                         px + static_cast<size_t>(h - 1 - j) * w);
      }
    }
  }
}

bool RotateImage(const SpriteImage& image, int32_t angle, SpriteImage& out) {
  out = SpriteImage{};
  if (!WellFormed(image)) return false;
  int32_t a = angle % 360;
  if (a < 0) a += 360;
  if (a == 0) return CloneImage(image, out);

  const int32_t w = image.width, h = image.height;
  SpriteImage result;
  if (a == 180) {
    result.width = w;
    result.height = h;
    for (const ImageFrame& frame : image.frames) {
      ImageFrame f{frame.colorKey, frame.delay, {frame.pixels.rbegin(), frame.pixels.rend()}};
      result.frames.push_back(std::move(f));
    }
    out = std::move(result);
    return true;
  }
  if (a == 90 || a == 270) {
    result.width = h;
    result.height = w;
    for (const ImageFrame& frame : image.frames) {
      ImageFrame f{frame.colorKey, frame.delay, std::vector<uint32_t>(frame.pixels.size())};
      for (int32_t r = 0; r < w; ++r) {      // output rows
        for (int32_t c = 0; c < h; ++c) {    // output columns
          const int32_t sx = (a == 90) ? r : w - 1 - r;
          const int32_t sy = (a == 90) ? h - 1 - c : c;
          f.pixels[static_cast<size_t>(r) * h + c] = frame.pixels[static_cast<size_t>(sy) * w + sx];
        }
      }
      result.frames.push_back(std::move(f));
    }
    out = std::move(result);
    return true;
  }

  const double s = DegreeSine(a);
  const double c = DegreeCosine(a);
  const double xs[4] = {0.0, w * c, -h * s, w * c - h * s};
  const double ys[4] = {0.0, w * s, h * c, w * s + h * c};
  const double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
  const double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
  const double outW = std::ceil(maxX - minX);
  const double outH = std::ceil(maxY - minY);
  if (!(outW > 0) || !(outH > 0) || outW * outH > static_cast<double>(kMaxTransformPixels)) {
    return false;
  }
  const int32_t ow = static_cast<int32_t>(outW), oh = static_cast<int32_t>(outH);
  result.width = ow;
  result.height = oh;
  // The source index of every output pixel is the same for all frames: work it out once.
  std::vector<int64_t> source(static_cast<size_t>(ow) * oh);
  for (int32_t j = 0; j < oh; ++j) {
    const double y = minY + j;
    for (int32_t k = 0; k < ow; ++k) {
      const double x = minX + k;
      const double fx = std::trunc(x * c + y * s);
      const double fy = std::trunc(y * c - x * s);
      const bool inside = fx >= 0 && fx < w && fy >= 0 && fy < h;
      source[static_cast<size_t>(j) * ow + k] =
          inside ? static_cast<int64_t>(fy) * w + static_cast<int64_t>(fx) : -1;
    }
  }
  for (const ImageFrame& frame : image.frames) {
    ImageFrame f{frame.colorKey, frame.delay, std::vector<uint32_t>(source.size())};
    for (size_t i = 0; i < source.size(); ++i) {
      f.pixels[i] = source[i] < 0 ? kEmptyPixel : frame.pixels[static_cast<size_t>(source[i])];
    }
    result.frames.push_back(std::move(f));
  }
  out = std::move(result);
  return true;
}

namespace {

// One nearest-neighbour pass; false when the image has been emptied.
bool ScalePass(SpriteImage& image, int32_t zoomX, int32_t zoomY) {
  const int32_t w = image.width, h = image.height;
  const int32_t nw = MulDiv(w, zoomX, 1000);
  const int32_t nh = MulDiv(h, zoomY, 1000);
  if (nw <= 0 || nh <= 0 || static_cast<int64_t>(nw) * nh > kMaxTransformPixels) {
    image = SpriteImage{};
    return false;
  }
  const int64_t stepX = (int64_t{256} * w) / nw;
  const float ratioY = static_cast<float>(h) / static_cast<float>(nh);
  const int64_t stepY = static_cast<int64_t>(256.0f * ratioY);
  std::vector<int32_t> columns(static_cast<size_t>(nw));
  for (int32_t j = 0; j < nw; ++j) {
    columns[j] = static_cast<int32_t>(std::min<int64_t>((j * stepX) >> 8, w - 1));
  }
  for (ImageFrame& frame : image.frames) {
    std::vector<uint32_t> pixels(static_cast<size_t>(nw) * nh);
    for (int32_t i = 0; i < nh; ++i) {
      // The float step may round a hair upwards; never let it leave the picture.
      const int64_t row = std::min<int64_t>((i * stepY) >> 8, h - 1);
      const uint32_t* src = frame.pixels.data() + static_cast<size_t>(row) * w;
      uint32_t* dst = pixels.data() + static_cast<size_t>(i) * nw;
      for (int32_t j = 0; j < nw; ++j) dst[j] = src[columns[j]];
    }
    frame.pixels = std::move(pixels);
    frame.colorKey = kNoColorKey;
  }
  image.width = nw;
  image.height = nh;
  return true;
}

// The pixel value a frame's key stands for, or nullopt-like flag when it has none.
struct KeyMatch {
  bool active;
  uint32_t pixel;
  bool Excludes(uint32_t p) const { return active && p == pixel; }
};
KeyMatch KeyOf(const ImageFrame& frame) {
  return {HasColorKey(frame.colorKey), KeyToPixel(frame.colorKey)};
}

}  // namespace

void ScaleImage(SpriteImage& image, int32_t zoomX, int32_t zoomY) {
  if (!WellFormed(image) || (zoomX == 1000 && zoomY == 1000) || zoomX <= 0 || zoomY <= 0) return;
  if ((zoomX < 1000 && zoomY > 1000) || (zoomX > 1000 && zoomY < 1000)) {
    if (ScalePass(image, zoomX, 1000)) ScalePass(image, 1000, zoomY);
  } else {
    ScalePass(image, zoomX, zoomY);
  }
}

void TrendImage(SpriteImage& image, uint32_t color, int32_t depth) {
  if (!WellFormed(image) || depth <= 0) return;
  depth = std::min(depth, 100);
  const int32_t target[3] = {static_cast<int32_t>((color >> 16) & 0xFF),  // B
                             static_cast<int32_t>((color >> 8) & 0xFF),   // G
                             static_cast<int32_t>(color & 0xFF)};         // R
  for (ImageFrame& frame : image.frames) {
    const KeyMatch key = KeyOf(frame);
    for (uint32_t& p : frame.pixels) {
      if (key.Excludes(p)) continue;
      uint32_t out = p & 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = static_cast<int32_t>((p >> (8 * k)) & 0xFF);
        const int32_t moved = v + MulDiv(target[k] - v, depth, 100);
        out |= static_cast<uint32_t>(moved & 0xFF) << (8 * k);
      }
      p = out;
    }
  }
}

void LightImage(SpriteImage& image, int32_t light) {
  if (!WellFormed(image) || light == 0) return;
  // Below -100 every component already ends at 0 and from 25500 up at 255 (or stays 0);
  // holding light in that range gives the same pixels without overflowing MulDiv.
  light = std::clamp(light, -100, 25500);
  for (ImageFrame& frame : image.frames) {
    const KeyMatch key = KeyOf(frame);
    for (uint32_t& p : frame.pixels) {
      if (key.Excludes(p)) continue;
      uint32_t out = p & 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = static_cast<int32_t>((p >> (8 * k)) & 0xFF);
        const int32_t lit = std::clamp(v + MulDiv(v, light, 100), 0, 255);
        out |= static_cast<uint32_t>(lit) << (8 * k);
      }
      p = out;
    }
  }
}

}  // namespace wintrel::image
