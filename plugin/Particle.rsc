{
  "format": "plmhost-resources",
  "version": 1,
  "dialogs": {
    "16001": {
      "title": "Particle Settings",
      "size": [640, 440],
      "controls": [
        {"id": 200, "kind": "GroupBox", "bounds": [0, 0, 208, 120], "title": "Emission"},
        {"id": 100, "kind": "StaticText", "bounds": [0, 20, 112, 40], "title": "Max particles"},
        {"id": 5, "kind": "EditText", "bounds": [120, 20, 208, 40], "name": "maxParticles"},
        {"id": 101, "kind": "StaticText", "bounds": [0, 40, 112, 60], "title": "Rate /s"},
        {"id": 6, "kind": "EditText", "bounds": [120, 40, 208, 60], "name": "emitFrequency"},
        {"id": 102, "kind": "StaticText", "bounds": [0, 60, 112, 80], "title": "Rate error"},
        {"id": 15, "kind": "EditText", "bounds": [120, 60, 208, 80], "name": "emitErr"},
        {"id": 103, "kind": "StaticText", "bounds": [0, 80, 112, 100], "title": "Start (s)"},
        {"id": 8, "kind": "EditText", "bounds": [120, 80, 208, 100], "name": "emitStart"},
        {"id": 104, "kind": "StaticText", "bounds": [0, 100, 112, 120], "title": "End (s)"},
        {"id": 17, "kind": "EditText", "bounds": [120, 100, 208, 120], "name": "emitEnd"},
        {"id": 201, "kind": "GroupBox", "bounds": [0, 140, 208, 200], "title": "Life"},
        {"id": 105, "kind": "StaticText", "bounds": [0, 160, 112, 180], "title": "Life (s)"},
        {"id": 7, "kind": "EditText", "bounds": [120, 160, 208, 180], "name": "lifeTime"},
        {"id": 106, "kind": "StaticText", "bounds": [0, 180, 112, 200], "title": "Life error"},
        {"id": 16, "kind": "EditText", "bounds": [120, 180, 208, 200], "name": "lifeTimeErr"},
        {"id": 202, "kind": "GroupBox", "bounds": [0, 220, 208, 280], "title": "Velocity"},
        {"id": 107, "kind": "StaticText", "bounds": [0, 240, 112, 260], "title": "Speed"},
        {"id": 19, "kind": "EditText", "bounds": [120, 240, 208, 260], "name": "initVelocity"},
        {"id": 108, "kind": "StaticText", "bounds": [0, 260, 112, 280], "title": "Speed error"},
        {"id": 30, "kind": "EditText", "bounds": [120, 260, 208, 280], "name": "initVelocityErr"},
        {"id": 203, "kind": "GroupBox", "bounds": [0, 300, 208, 380], "title": "Ground"},
        {"id": 109, "kind": "StaticText", "bounds": [0, 320, 112, 340], "title": "Level (y)"},
        {"id": 25, "kind": "EditText", "bounds": [120, 320, 208, 340], "name": "groundLevel"},
        {"id": 110, "kind": "StaticText", "bounds": [0, 340, 112, 360], "title": "Bounce"},
        {"id": 26, "kind": "EditText", "bounds": [120, 340, 208, 360], "name": "bounceFactor"},
        {"id": 111, "kind": "StaticText", "bounds": [0, 360, 112, 380], "title": "Friction"},
        {"id": 28, "kind": "EditText", "bounds": [120, 360, 208, 380], "name": "bounceFriction"},
        {"id": 204, "kind": "GroupBox", "bounds": [216, 0, 424, 140], "title": "Position"},
        {"id": 112, "kind": "StaticText", "bounds": [216, 20, 328, 40], "title": "X"},
        {"id": 9, "kind": "EditText", "bounds": [336, 20, 424, 40], "name": "initXPos"},
        {"id": 113, "kind": "StaticText", "bounds": [216, 40, 328, 60], "title": "Y"},
        {"id": 10, "kind": "EditText", "bounds": [336, 40, 424, 60], "name": "initYPos"},
        {"id": 114, "kind": "StaticText", "bounds": [216, 60, 328, 80], "title": "Z"},
        {"id": 11, "kind": "EditText", "bounds": [336, 60, 424, 80], "name": "initZPos"},
        {"id": 115, "kind": "StaticText", "bounds": [216, 80, 328, 100], "title": "X error"},
        {"id": 12, "kind": "EditText", "bounds": [336, 80, 424, 100], "name": "initXPosErr"},
        {"id": 116, "kind": "StaticText", "bounds": [216, 100, 328, 120], "title": "Y error"},
        {"id": 13, "kind": "EditText", "bounds": [336, 100, 424, 120], "name": "initYPosErr"},
        {"id": 117, "kind": "StaticText", "bounds": [216, 120, 328, 140], "title": "Z error"},
        {"id": 14, "kind": "EditText", "bounds": [336, 120, 424, 140], "name": "initZPosErr"},
        {"id": 205, "kind": "GroupBox", "bounds": [216, 160, 424, 280], "title": "Direction"},
        {"id": 118, "kind": "StaticText", "bounds": [216, 180, 328, 200], "title": "X"},
        {"id": 20, "kind": "EditText", "bounds": [336, 180, 424, 200], "name": "initXDir"},
        {"id": 119, "kind": "StaticText", "bounds": [216, 200, 328, 220], "title": "Y"},
        {"id": 21, "kind": "EditText", "bounds": [336, 200, 424, 220], "name": "initYDir"},
        {"id": 120, "kind": "StaticText", "bounds": [216, 220, 328, 240], "title": "Z"},
        {"id": 23, "kind": "EditText", "bounds": [336, 220, 424, 240], "name": "initZDir"},
        {"id": 121, "kind": "StaticText", "bounds": [216, 240, 328, 260], "title": "Cone angle"},
        {"id": 18, "kind": "EditText", "bounds": [336, 240, 424, 260], "name": "initAngle"},
        {"id": 122, "kind": "StaticText", "bounds": [216, 260, 328, 280], "title": "Angle error"},
        {"id": 29, "kind": "EditText", "bounds": [336, 260, 424, 280], "name": "initAngleErr"},
        {"id": 206, "kind": "GroupBox", "bounds": [216, 300, 424, 400], "title": "Forces"},
        {"id": 123, "kind": "StaticText", "bounds": [216, 320, 328, 340], "title": "Air resistance"},
        {"id": 27, "kind": "EditText", "bounds": [336, 320, 424, 340], "name": "airResistance"},
        {"id": 124, "kind": "StaticText", "bounds": [216, 340, 328, 360], "title": "Gravity X"},
        {"id": 22, "kind": "EditText", "bounds": [336, 340, 424, 360], "name": "gravityXDir"},
        {"id": 125, "kind": "StaticText", "bounds": [216, 360, 328, 380], "title": "Gravity Y"},
        {"id": 31, "kind": "EditText", "bounds": [336, 360, 424, 380], "name": "gravityYDir"},
        {"id": 126, "kind": "StaticText", "bounds": [216, 380, 328, 400], "title": "Gravity Z"},
        {"id": 24, "kind": "EditText", "bounds": [336, 380, 424, 400], "name": "gravityZDir"},
        {"id": 207, "kind": "GroupBox", "bounds": [432, 0, 640, 80], "title": "Colours (a r g b)"},
        {"id": 127, "kind": "StaticText", "bounds": [432, 20, 504, 40], "title": "At birth"},
        {"id": 37, "kind": "ColorButton", "bounds": [512, 20, 632, 40], "name": "colorBirth"},
        {"id": 128, "kind": "StaticText", "bounds": [432, 40, 504, 60], "title": "Halfway"},
        {"id": 36, "kind": "ColorButton", "bounds": [512, 40, 632, 60], "name": "colorHalfway"},
        {"id": 129, "kind": "StaticText", "bounds": [432, 60, 504, 80], "title": "At death"},
        {"id": 35, "kind": "ColorButton", "bounds": [512, 60, 632, 80], "name": "colorDeath"},
        {"id": 150, "kind": "StaticText", "bounds": [432, 100, 640, 160], "title": "Energy falls from 1 at birth to 0 at death; the colour blends between these three."},
        {"id": 2, "kind": "PushButton", "bounds": [432, 400, 528, 420], "title": "Cancel"},
        {"id": 1, "kind": "PushButton", "bounds": [544, 400, 640, 420], "title": "OK"}
      ]
    },
    "9000": {
      "title": "Error",
      "size": [480, 160],
      "controls": [
        {"id": 3, "kind": "StaticText", "bounds": [16, 20, 464, 100], "title": "^0"},
        {"id": 1, "kind": "PushButton", "bounds": [368, 120, 464, 140], "title": "OK"}
      ]
    },
    "9002": {
      "title": "Warning",
      "size": [480, 160],
      "controls": [
        {"id": 3, "kind": "StaticText", "bounds": [16, 20, 464, 100], "title": "^0"},
        {"id": 2, "kind": "PushButton", "bounds": [256, 120, 352, 140], "title": "Cancel"},
        {"id": 1, "kind": "PushButton", "bounds": [368, 120, 464, 140], "title": "OK"}
      ]
    },
    "9003": {
      "title": "Message",
      "size": [480, 160],
      "controls": [
        {"id": 3, "kind": "StaticText", "bounds": [16, 20, 464, 100], "title": "^0"},
        {"id": 1, "kind": "PushButton", "bounds": [368, 120, 464, 140], "title": "OK"}
      ]
    },
    "9004": {
      "title": "Caution",
      "size": [480, 160],
      "controls": [
        {"id": 3, "kind": "StaticText", "bounds": [16, 20, 464, 100], "title": "^0"},
        {"id": 1, "kind": "PushButton", "bounds": [368, 120, 464, 140], "title": "OK"}
      ]
    }
  }
}
