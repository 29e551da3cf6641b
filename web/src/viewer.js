// The 3D view: points with the plug-in's colours and alpha, optional blur
// streaks from each point's blur position to its position, a ground grid,
// orbit/pan/zoom and the scene's own camera.
import * as THREE from './three.module.min.js';
import { OrbitControls } from './OrbitControls.js';

const HEADER_BYTES = 32;
// Colours are the plug-in's bytes, shown as they are: no colour management.
THREE.ColorManagement.enabled = false;

// The server's frame body: see host/server/FrameSession.h.
export function decodeFrame(buffer) {
  const view = new DataView(buffer);
  const magic = String.fromCharCode(...new Uint8Array(buffer, 0, 4));
  if (magic !== 'PLMF' || view.getUint32(4, true) !== 1) throw new Error('not a frame');
  const count = view.getUint32(12, true), flags = view.getUint32(24, true);
  const hasBlur = (flags & 2) !== 0, blurBytes = hasBlur ? count * 12 : 0;
  if (buffer.byteLength !== HEADER_BYTES + count * 16 + blurBytes) throw new Error('frame length does not match its count');
  return {
    frame: view.getInt32(8, true),
    count,
    pluginSeconds: view.getFloat64(16, true),
    fromCache: (flags & 1) !== 0,
    positions: new Float32Array(buffer, HEADER_BYTES, count * 3),
    blur: hasBlur ? new Float32Array(buffer, HEADER_BYTES + count * 12, count * 3) : null,
    colors: new Uint8Array(buffer, HEADER_BYTES + count * 12 + blurBytes, count * 4),
  };
}

export class Viewer {
  constructor(canvas, info) {
    this.canvas = canvas;
    this.info = info;
    // Colours go to the screen as the plug-in gave them.
    this.renderer = new THREE.WebGLRenderer({ canvas, antialias: false, preserveDrawingBuffer: true });
    this.renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    this.renderer.setClearColor(0x202428, 1);
    this.scene = new THREE.Scene();
    this.camera = new THREE.PerspectiveCamera(info.camera.fov, 1, 0.1, 1e6);
    this.controls = new OrbitControls(this.camera, canvas);
    this.controls.addEventListener('change', () => this.render());

    const distance = new THREE.Vector3(...info.camera.position).distanceTo(new THREE.Vector3(...info.camera.target));
    const gridSize = Math.max(10, Math.pow(10, Math.ceil(Math.log10(distance * 1.5))));
    this.grid = new THREE.GridHelper(gridSize, 20, 0x56606c, 0x343b44);
    this.scene.add(this.grid);

    this.capacity = 0;
    this.streakCapacity = 0;
    this.geometry = Viewer.grow(this, 'geometry', 'capacity', 0, 1);
    this.streakGeometry = Viewer.grow(this, 'streakGeometry', 'streakCapacity', 0, 2);
    this.material = new THREE.PointsMaterial({
      // Square points without a texture: software WebGL draws them twice as fast.
      size: 4, sizeAttenuation: false, vertexColors: true, transparent: true, depthWrite: false,
    });
    this.points = new THREE.Points(this.geometry, this.material);
    this.points.frustumCulled = false;
    this.scene.add(this.points);

    this.streakMaterial = new THREE.LineBasicMaterial({ vertexColors: true, transparent: true, opacity: 0.45, depthWrite: false });
    this.streaks = new THREE.LineSegments(this.streakGeometry, this.streakMaterial);
    this.streaks.frustumCulled = false;
    this.streaks.visible = false;
    this.scene.add(this.streaks);

    this.frame = null;
    this.useSceneCamera();
    new ResizeObserver(() => this.resize()).observe(canvas.parentElement);
    this.resize();
  }

  useSceneCamera() {
    const c = this.info.camera;
    this.camera.fov = c.fov;
    this.camera.position.set(...c.position);
    this.camera.up.set(0, 1, 0);
    this.controls.target.set(...c.target);
    this.camera.lookAt(...c.target);
    this.camera.updateProjectionMatrix();
    this.controls.update();
    this.render();
  }

  resize() {
    const parent = this.canvas.parentElement;
    const w = Math.max(1, parent.clientWidth), h = Math.max(1, parent.clientHeight);
    this.renderer.setSize(w, h, false);
    this.camera.aspect = w / h;
    this.camera.updateProjectionMatrix();
    this.render();
  }

  setPointSize(px) { this.material.size = px; this.render(); }
  setGrid(on) { this.grid.visible = on; this.render(); }
  // The page fetches blur positions only while streaks are on.
  setStreaks(on) {
    this.streaks.visible = on;
    if (on && this.frame && this.frame.blur) this.buildStreaks(this.frame);
    this.render();
  }

  // Buffers grow to the next power of two and are then refilled in place,
  // so playing frames does not allocate on the GPU.
  static grow(owner, geometryKey, capacityKey, n, perPoint) {
    if (n <= owner[capacityKey] && owner[geometryKey]) return owner[geometryKey];
    owner[capacityKey] = Math.max(1024, 2 ** Math.ceil(Math.log2(Math.max(1, n))));
    if (owner[geometryKey]) owner[geometryKey].dispose();
    const g = new THREE.BufferGeometry(), cap = owner[capacityKey] * perPoint;
    g.setAttribute('position', new THREE.BufferAttribute(new Float32Array(cap * 3), 3).setUsage(THREE.DynamicDrawUsage));
    g.setAttribute('color', new THREE.BufferAttribute(new Uint8Array(cap * 4), 4, true).setUsage(THREE.DynamicDrawUsage));
    g.setDrawRange(0, 0);
    owner[geometryKey] = g;
    return g;
  }

  static fill(geometry, positions, colors, vertices) {
    const p = geometry.getAttribute('position'), c = geometry.getAttribute('color');
    p.array.set(positions);
    c.array.set(colors);
    p.clearUpdateRanges(); p.addUpdateRange(0, vertices * 3); p.needsUpdate = true;
    c.clearUpdateRanges(); c.addUpdateRange(0, vertices * 4); c.needsUpdate = true;
    geometry.setDrawRange(0, vertices);
  }

  show(frame) {
    this.frame = frame;
    this.points.geometry = Viewer.grow(this, 'geometry', 'capacity', frame.count, 1);
    Viewer.fill(this.points.geometry, frame.positions, frame.colors, frame.count);
    if (this.streaks.visible && frame.blur) this.buildStreaks(frame);
    this.render();
  }

  buildStreaks(frame) {
    const n = frame.count;
    const ends = new Float32Array(n * 6), colors = new Uint8Array(n * 8);
    for (let k = 0; k < n; ++k) {
      ends.set(frame.blur.subarray(3 * k, 3 * k + 3), 6 * k);
      ends.set(frame.positions.subarray(3 * k, 3 * k + 3), 6 * k + 3);
      const c = frame.colors.subarray(4 * k, 4 * k + 4);
      colors.set(c, 8 * k);
      colors.set(c, 8 * k + 4);
    }
    this.streaks.geometry = Viewer.grow(this, 'streakGeometry', 'streakCapacity', n, 2);
    Viewer.fill(this.streaks.geometry, ends, colors, 2 * n);
  }

  render() { this.renderer.render(this.scene, this.camera); }
}
