-- vexel menu
-- the console's built-in cartridges: pick one with the arrows, start it
-- with z or x. its pause menu leads back here.

carts = {
  {file = "game.qz", title = "ghost garden", line = "gems, bats, ghosts",
   about = {"gather every gem while bats", "and ghosts roam the hedges."},
   icon = "game"},
  {file = "demo.qz", title = "lumen", line = "light, motion, music",
   about = {"an audio-visual piece. sit", "back, or flip through scenes."},
   icon = "demo"},
}

card_x = 10
card_w = 108
card_h = 24
first_card_y = 38
card_gap = 28

snd_move = 0
snd_launch = 1

function _init()
  -- coming back from a cartridge, its entry is still the chosen one
  cartdata("vexel_menu")
  sel = mid(1, dget(0), #carts)
  frame = 0
  glide = 0
  launching = 0
  failed = 0
  stars = {}
  for i = 1, 40 do
    add(stars, {x = rnd(128), y = rnd(128), z = 0.2 + rnd(0.8)})
  end
  music(0, 0, 7)
end

function _update()
  -- wrapped well inside the number range at a multiple of every period used
  frame = (frame + 1) % 25200
  for s in all(stars) do
    s.x = s.x - s.z * 0.6
    if s.x < 0 then
      s.x = s.x + 128
      s.y = rnd(128)
    end
  end
  if failed > 0 then failed = failed - 1 end

  if launching > 0 then
    launching = launching + 1
    if launching > 20 then
      launching = 0
      -- load returns only when the cartridge could not be loaded
      if not load(carts[sel].file, "back to menu") then
        failed = 90
      end
    end
    return
  end

  local before = sel
  if btnp(2) or btnp(0) then sel = sel - 1 end
  if btnp(3) or btnp(1) then sel = sel + 1 end
  if sel < 1 then sel = #carts end
  if sel > #carts then sel = 1 end
  if sel ~= before then sfx(snd_move) end
  -- the highlight glides towards the chosen card
  glide = glide + (sel - 1 - glide) * 0.35

  if btnp(4) or btnp(5) then
    launching = 1
    dset(0, sel)
    music(-1, 300)
    sfx(snd_launch)
  end
end

-- drawing

function centre(s, y, c)
  print(s, 64 - #s * 2 + 1, y + 1, 0)
  print(s, 64 - #s * 2, y, c)
end

ramp = {8, 9, 10, 11, 12, 13, 14}

function draw_logo()
  -- each letter bobs on its own beat; a bright band sweeps across
  local sweep = (frame % 90) / 90 * 9 - 2
  for i = 0, 4 do
    local x = 24 + i * 16
    local y = 7 + sin(frame / 40 + i / 10) * 2
    pal(7, 1)
    sspr(i * 8, 32, 8, 8, x + 1, y + 2, 16, 16)
    local c = ramp[(flr(frame / 6) + i) % #ramp + 1]
    if abs(i - sweep) < 1 then c = 7 end
    pal(7, c)
    sspr(i * 8, 32, 8, 8, x, y, 16, 16)
  end
  pal()
end

function draw_icon(kind, x, y, lit)
  rectfill(x, y, x + 15, y + 15, 0)
  if kind == "game" then
    rectfill(x + 1, y + 1, x + 14, y + 14, 3)
    spr(3, x + 1, y + 7)
    spr(2, x + 8, y + 8 + sin(frame / 30))
    spr(1, x + 7, y + 1 + sin(frame / 45) * 1.5, 1, 1, true)
  else
    clip(x + 1, y + 1, 14, 14)
    for r = 12, 1, -2 do
      local c = ramp[(flr(frame / 4) + r / 2) % #ramp + 1]
      if not lit then c = 5 + r / 2 % 2 end
      circfill(x + 8 + cos(frame / 60) * 2, y + 8 + sin(frame / 60) * 2, r, c)
    end
    clip()
  end
  rect(x, y, x + 15, y + 15, 5)
end

function draw_card(i, e, y)
  local lit = i == sel
  local edge = 5
  if lit then
    edge = 12
    if frame % 16 < 8 then edge = 7 end
    rectfill(card_x, y, card_x + card_w, y + card_h, 1)
  end
  rect(card_x, y, card_x + card_w, y + card_h, edge)
  draw_icon(e.icon, card_x + 4, y + 4, lit)
  local tc = 6
  local lc = 5
  if lit then
    tc = 7
    lc = 6
  end
  print(e.title, card_x + 25, y + 6, tc)
  print(e.line, card_x + 25, y + 14, lc)
end

function _draw()
  cls(0)
  for s in all(stars) do
    local c = 1
    if s.z > 0.7 then c = 13 elseif s.z > 0.45 then c = 5 end
    pset(s.x, s.y, c)
  end

  draw_logo()
  centre("built-in cartridges", 27, 6)

  local hy = first_card_y + glide * card_gap
  -- pointer beside the highlighted card
  local bob = sin(frame / 20) * 1.5
  print("\23", card_x - 7 + bob, hy + 9, 10)
  for i = 1, #carts do
    draw_card(i, carts[i], first_card_y + (i - 1) * card_gap)
  end

  local about = carts[sel].about
  for k = 1, #about do
    centre(about[k], 93 + (k - 1) * 7, 13)
  end
  centre("z/x: start  esc: menu, console", 107, 5)

  -- a ribbon of light along the bottom
  for i = 0, 31 do
    local x = i * 4 + 2
    local y = 120 + sin(frame / 50 + i / 16) * 3 + cos(frame / 33 - i / 11)
    local c = ramp[(i + flr(frame / 3)) % #ramp + 1]
    circfill(x, y, 1, c)
  end
  if failed > 0 then
    rectfill(14, 58, 113, 72, 2)
    rect(14, 58, 113, 72, 8)
    centre("could not load " .. carts[sel].file, 63, 7)
  end

  if launching > 0 then
    -- close in on the chosen card
    local r = launching * launching / 2.5
    local cy = first_card_y + (sel - 1) * card_gap + 12
    circfill(card_x + 12, cy, r, 0)
    circ(card_x + 12, cy, r, 12)
  end
end
