-- lumen
-- an audio-visual piece in five scenes. left and right change scene,
-- z or x hides or shows the captions.

scene_len = 255 -- frames per scene: two patterns of the music

-- one beat of the music is 32 synthesiser ticks, 7.968 frames
beat_frames = 7.968

ramp = {1, 2, 8, 9, 10, 7, 15, 14, 13, 12, 1}
warm = {1, 2, 8, 9, 10, 7}

-- fill patterns from all-first-colour to all-second-colour
dither = {0x0000, 0x8020, 0xa0a0, 0xa5a5, 0x5f5f, 0x7fdf, 0xffff}

-- each pattern clears a quarter of the pixels (a diagonal of every 4x4
-- cell) and leaves the rest: four frames wipe everything, leaving trails
fade = {0x7edb.8, 0xb7ed.8, 0xdb7e.8, 0xedb7.8}

function _init()
  frame = 0
  scene = 1
  scene_frame = 0
  captions = true
  stars = {}
  for i = 1, 70 do
    add(stars, new_star(rnd(8) + 0.5))
  end
  music(0, 0, 15)
end

function new_star(z)
  return {x = rnd(64) - 32, y = rnd(64) - 32, z = z}
end

function _update()
  -- wrapped well inside the number range at a multiple of every period used
  frame = (frame + 1) % 25200
  track_music()
  scene_frame = scene_frame + 1
  if btnp(1) or scene_frame >= scene_len then next_scene(1) end
  if btnp(0) then next_scene(-1) end
  if btnp(4) or btnp(5) then captions = not captions end
  if scene == 4 then move_stars() end
end

function next_scene(d)
  scene = (scene - 1 + d) % #scenes + 1
  scene_frame = 0
  pal()
  fillp()
  cls()
end

-- the music's own tick counter keeps the pictures on the beat; while it
-- stands still (no sound device) the frame count stands in for it
last_tick = 0
beat = 0
function track_music()
  local tick = stat(26)
  if tick ~= last_tick then
    beat = (tick % 32) / 32
  else
    local b = frame / beat_frames
    beat = b - flr(b)
  end
  last_tick = tick
end

-- 1 at each beat of the music, falling to 0 until the next
function pulse()
  return 1 - beat
end

-- scenes

function draw_tunnel()
  cls(0)
  local tt = frame / 200
  local f = (frame / 12) % 1
  for i = 0, 15 do
    local d = i + 1 - f
    local r = min(110 / max(d, 0.5), 180)
    local cx = 64 + cos(tt + d * 0.03) * d * 2.5
    local cy = 64 + sin(tt * 1.3 + d * 0.04) * d * 2.5
    local c = ramp[(i + flr(frame / 12)) % 10 + 1]
    if i % 2 == 0 then
      circfill(cx, cy, r, c)
    else
      circfill(cx, cy, r, 0)
      circ(cx, cy, r, c)
    end
  end
  circfill(64 + cos(tt + 0.5) * 40, 64 + sin(tt * 1.3 + 0.65) * 40, 2 + pulse() * 2, 7)
end

function draw_plasma()
  local tt = frame / 30
  for cy = 0, 15 do
    for cx = 0, 15 do
      local v = sin(cx / 11 + tt * 0.15) + sin(cy / 9 - tt * 0.1)
          + sin((cx + cy) / 17 + tt * 0.07)
      -- v lies in -3..3: spread it over the colour steps of warm
      local t = (v + 3) / 6 * (#warm - 1)
      local k = mid(0, flr(t), #warm - 2)
      local d = flr((t - k) * #dither)
      d = mid(0, d, #dither - 1)
      fillp(dither[d + 1])
      rectfill(cx * 8, cy * 8, cx * 8 + 7, cy * 8 + 7, warm[k + 1] + warm[k + 2] * 16)
    end
  end
  fillp()
end

function draw_bloom()
  fillp(fade[frame % 4 + 1])
  rectfill(0, 0, 127, 127, 0)
  fillp()
  local tt = frame / 30
  local size = 40 + pulse() * 6
  -- two roses, three and five petals, turning against each other
  for k = 0, 1 do
    local petals = 3 + k * 2
    local spin = tt * (0.03 - k * 0.05)
    local rs = size * (1 - k * 0.35)
    local lx = nil
    local ly = nil
    for i = 0, 60 do
      local a = i / 60
      local r = rs * cos(a * petals + tt * 0.05)
      local x = 64 + cos(a + spin) * r
      local y = 64 + sin(a + spin) * r
      local c = ramp[flr(i / 6 + tt + k * 5) % 10 + 1]
      if lx then line(lx, ly, x, y, c) end
      lx = x
      ly = y
    end
  end
  for i = 0, 5 do
    local a = i / 6 + tt * 0.02
    circ(64 + cos(a) * 50, 64 + sin(a) * 50, 3 + pulse() * 3, warm[i + 1])
  end
end

function move_stars()
  local speed = 0.06 + pulse() * 0.05
  for s in all(stars) do
    s.pz = s.z
    s.z = s.z - speed
    if s.z < 0.4 then
      local n = new_star(8)
      s.x = n.x
      s.y = n.y
      s.z = 8
      s.pz = 8
    end
  end
end

function draw_stars()
  cls(0)
  local tt = frame / 30
  -- a slow nebula behind the stars
  fillp(0xa5a5.8)
  circfill(64 + cos(tt / 20) * 20, 64 + sin(tt / 20) * 20, 40, 1)
  circfill(64 - cos(tt / 25) * 30, 64 + sin(tt / 30) * 10, 26, 2)
  fillp()
  for s in all(stars) do
    local pz = s.pz or s.z
    local x0 = 64 + s.x / pz * 8
    local y0 = 64 + s.y / pz * 8
    local x1 = 64 + s.x / s.z * 8
    local y1 = 64 + s.y / s.z * 8
    local c = 5
    if s.z < 5 then c = 6 end
    if s.z < 2.5 then c = 7 end
    line(x0, y0, x1, y1, c)
  end
end

function draw_rings()
  -- rings drawn once in colours 8-15; cycling the screen palette makes
  -- them flow outwards without moving a pixel
  cls(0)
  local tt = frame / 30
  local cx = 64 + cos(tt / 9) * 24
  local cy = 64 + sin(tt / 7) * 24
  for r = 100, 4, -5 do
    circfill(cx, cy, r, 8 + (r / 5) % 8)
  end
  local shift = flr(frame / 3)
  local cycle = {1, 2, 8, 14, 15, 7, 12, 13}
  for c = 8, 15 do
    pal(c, cycle[(c + shift) % 8 + 1], 1)
  end
  circfill(cx, cy, 3 + pulse() * 3, 0)
end

scenes = {
  {name = "tunnel", draw = draw_tunnel},
  {name = "dither", draw = draw_plasma},
  {name = "bloom", draw = draw_bloom},
  {name = "drift", draw = draw_stars},
  {name = "rings", draw = draw_rings},
}

function shadow_print(s, x, y, c)
  print(s, x + 1, y + 1, 0)
  print(s, x, y, c)
end

function _draw()
  scenes[scene].draw()
  -- text is drawn with the screen palette as it is, so rings' cycling
  -- colours stay off the caption colours 0, 5, 6 and 7
  if frame < 120 then
    local y = 54
    rectfill(34, y - 4, 93, y + 17, 0)
    rect(34, y - 4, 93, y + 17, 7)
    shadow_print("lumen", 54, y, 7)
    shadow_print("a vexel piece", 38, y + 8, 6)
  elseif captions and scene_frame < 75 then
    shadow_print(scene .. "/" .. #scenes .. " " .. scenes[scene].name, 2, 121, 7)
    shadow_print("\22\23", 118, 121, 6)
  end
end
